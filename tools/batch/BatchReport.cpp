#include "BatchReport.h"

#include "DatabaseUri.h"
#include "RunFiles.h"
#include "ToolError.h"

#include <QDir>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// The names a path goes by: as given, with its folder's links resolved, and its target's.
QStringList namesOf(const QString& path) {
    const QFileInfo info(path);
    QStringList names{QDir::cleanPath(info.absoluteFilePath())};
    const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
    if (!folder.isEmpty())
        names << folder + u'/' + info.fileName();
    if (info.exists())
        names << info.canonicalFilePath();
    return names;
}

} // namespace

void BatchReport::checkPath(const QString& report, const QString& database) {
    const QStringList names = namesOf(report);
    QStringList taken;
    if (!isServerUri(database)) {
        // SQLite names the companions after the database's real path.
        for (const QString& name : namesOf(database)) {
            for (const char* companion : {"", "-wal", "-shm", "-journal"})
                taken << namesOf(name + QLatin1StringView(companion));
        }
    }
    bool clash = std::any_of(names.cbegin(), names.cend(),
                             [&taken](const QString& name) { return taken.contains(name); });
    // A hard link is the database under another name.
    struct stat reportInfo {};
    struct stat databaseInfo {};
    clash = clash ||
            (::stat(QFile::encodeName(report).constData(), &reportInfo) == 0 &&
             ::stat(QFile::encodeName(database).constData(), &databaseInfo) == 0 &&
             reportInfo.st_dev == databaseInfo.st_dev && reportInfo.st_ino == databaseInfo.st_ino);
    // Logs and journals live in a "Logs/Telnormer" folder (a server database's one level below):
    // whichever database they belong to, whichever name it was run by, a report is no place for
    // them. Nor for a journal anywhere else.
    for (const QString& name : names) {
        const QString folder = QFileInfo(name).absolutePath();
        clash = clash || ((name.endsWith(u".txt"_s) || name.endsWith(u".jsonl"_s)) &&
                          (folder.endsWith(u"/Logs/Telnormer"_s) ||
                           QFileInfo(folder).absolutePath().endsWith(u"/Logs/Telnormer"_s)));
    }
    QString why;
    if (const int fd = RunFiles::openRegular(report, why); fd >= 0) {
        QByteArray head(4096, '\0');
        head.resize(std::max<ssize_t>(::read(fd, head.data(), head.size()), 0));
        clash = clash || head.left(head.indexOf('\n')).contains("\"format\":\"telnormer-journal\"");
        ::close(fd);
    }
    if (clash)
        usageFail(u"the report "_s + report +
                  u" would replace a file the run reads or writes (the database, a log or a "
                  "journal)"_s);
}
