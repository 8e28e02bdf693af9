#include "RunFiles.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace RunFiles {

FileModes modesLike(const QString& databasePath) {
    struct stat info {};
    if (databasePath.isEmpty() || ::stat(QFile::encodeName(databasePath).constData(), &info) != 0)
        return {};
    const mode_t file = (info.st_mode & 0444) | 0600;
    return {file, file | ((file & 0444) >> 2)};
}

int createNew(const QString& path, mode_t mode) {
    // O_EXCL refuses a link even when it points nowhere; O_NONBLOCK is for the open alone.
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, mode);
    if (fd >= 0)
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

int openRegular(const QString& path, QString& why) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        why = cause(errno);
        return -1;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        why = QStringLiteral("not a regular file");
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

bool makeFolder(const QString& path, mode_t mode) {
    const QByteArray name = QFile::encodeName(path);
    if (::mkdir(name.constData(), mode) == 0)
        return true;
    if (errno != EEXIST)
        return false;
    struct stat info {};
    if (::stat(name.constData(), &info) == 0 && S_ISDIR(info.st_mode))
        return true;
    errno = ENOTDIR;
    return false;
}

QString cause(int error) {
    return qt_error_string(error);
}

} // namespace RunFiles
