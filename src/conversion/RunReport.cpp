#include "RunReport.h"

#include "ChangeLog.h"
#include "CsvLine.h"
#include "DatabaseUri.h"
#include "ErrorRecord.h"
#include "StringTable.h"
#include "UnreadableValue.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// Escaped as in the log, as a NUL or a line break is no safer in a cell. A spreadsheet runs a
// cell that begins with one of these as a formula; the apostrophe makes it show the text instead.
// A cell that begins with one gets another, so that a reader can always drop the first.
QString asText(const QString& value) {
    const QString cell = ChangeLog::visible(value);
    if (!cell.isEmpty() && QStringView(u"=+-@'").contains(cell.front()))
        return u'\'' + cell;
    return cell;
}

bool writeAll(int fd, const char* data, qsizetype size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, static_cast<size_t>(size));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        size -= written;
    }
    return true;
}

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

bool RunReport::clashes(const QString& report, const QString& database) {
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
    return clash;
}

RunReport::~RunReport() {
    discard();
}

bool RunReport::open(const QString& path, const FileModes& modes) {
    discard();
    path_ = path;
    failed_ = false;
    struct stat info {};
    // A link at the path is replaced, never followed; a device or a FIFO is no place for a report.
    if (::lstat(QFile::encodeName(path).constData(), &info) == 0 && !S_ISREG(info.st_mode) &&
        !S_ISLNK(info.st_mode))
        return fail(LoadResourceString(IDS_FILE_NOT_REGULAR));
    const QFileInfo target(path);
    for (int tries = 0; fd_ < 0 && tries < 100; ++tries) {
        temp_ = target.absolutePath() + u"/."_s + target.fileName() + u'.' +
                QString::number(QRandomGenerator::system()->generate(), 36);
        fd_ = RunFiles::createNew(temp_, modes);
        if (fd_ < 0 && errno != EEXIST)
            break;
    }
    if (fd_ < 0) {
        temp_.clear();
        return fail(RunFiles::cause(errno));
    }
    pending_ = csvLine({u"table"_s, u"record key"_s, u"record label"_s, u"field"_s, u"value"_s,
                        u"reason"_s, u"country"_s})
                   .toUtf8();
    return true;
}

QByteArray RunReport::row(const UnreadableValue& value) {
    return csvLine({asText(value.table), asText(value.key), asText(value.label),
                    asText(value.field), asText(value.value),
                    // The reason's key first, so that a reader can split at ": ".
                    value.detail.isEmpty()
                        ? unreadableKey(value.reason)
                        : unreadableKey(value.reason) + u": "_s + ChangeLog::visible(value.detail),
                    // Empty at home: an empty cell, not a quoted empty text.
                    value.country.isEmpty() ? std::nullopt : std::optional(asText(value.country))})
        .toUtf8();
}

void RunReport::add(const UnreadableValue& value) {
    if (failed_ || fd_ < 0)
        return;
    pending_ += row(value);
    if (pending_.size() >= 65536 && !writePending())
        throw ErrorRecord(ErrorNumber::FileAccess, error_, u"RunReport"_s);
}

bool RunReport::writePending() {
    if (!writeAll(fd_, pending_.constData(), pending_.size()))
        return fail(RunFiles::cause(errno));
    pending_.clear();
    return true;
}

bool RunReport::commit() {
    if (failed_ || fd_ < 0)
        return false;
    if (!writePending())
        return false;
    if (::fsync(fd_) != 0 || ::close(std::exchange(fd_, -1)) != 0)
        return fail(RunFiles::cause(errno));
    // rename replaces a link at the path, never what it points to.
    if (::rename(QFile::encodeName(temp_).constData(), QFile::encodeName(path_).constData()) != 0)
        return fail(RunFiles::cause(errno));
    temp_.clear();
    return true;
}

void RunReport::discard() {
    if (fd_ >= 0)
        ::close(std::exchange(fd_, -1));
    if (!temp_.isEmpty())
        QFile::remove(std::exchange(temp_, QString()));
    pending_.clear();
}

bool RunReport::fail(const QString& cause) {
    failed_ = true;
    error_ = LoadResourceText(IDS_REPORT_CANNOT_WRITE, {path_, cause});
    discard();
    return false;
}
