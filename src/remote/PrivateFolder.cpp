#include "PrivateFolder.h"

#include <QDir>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

QString Remote::privateFolder() {
    QString base = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (base.isEmpty())
        base = QDir::tempPath();
    const QByteArray real = QFileInfo(base).canonicalFilePath().toLocal8Bit();
    struct stat info {};
    if (real.isEmpty() || ::stat(real.constData(), &info) != 0 || !S_ISDIR(info.st_mode) ||
        (info.st_uid != ::geteuid() && info.st_uid != 0) ||
        ((info.st_mode & (S_IWGRP | S_IWOTH)) && !(info.st_mode & S_ISVTX)))
        return {};
    QByteArray folder = real + "/telnormer-host-XXXXXX";
    if (!::mkdtemp(folder.data()))
        return {};
    if (::lstat(folder.constData(), &info) != 0 || !S_ISDIR(info.st_mode) ||
        info.st_uid != ::geteuid() || (info.st_mode & 077)) {
        ::rmdir(folder.constData());
        return {};
    }
    return QString::fromLocal8Bit(folder);
}
