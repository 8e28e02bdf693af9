#include "ChangeLog.h"

#include "DatabaseUri.h"
#include "ErrorRecord.h"
#include "GlobalDefs.h"
#include "StringTable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace {

const QString kCrLf = u"\r\n"_s;

[[noreturn]] void fail(qint32 number, const QString& description) {
    throw ErrorRecord(number, description, u"ChangeLog"_s);
}

constexpr qint32 kInvalidCall = 5;
constexpr qint32 kFileExists = 58;

void createFolder(const QString& folder) {
    if (QFileInfo(folder).isDir())
        return;
    // Only the last level: its parent must exist.
    if (!QDir().mkdir(folder))
        fail(ErrorNumber::FileAccess,
             u"Path/File access error: cannot create the folder "_s + folder);
}

// The long time format without its time-zone field ("t" outside quotes), as the log reads best.
QString withoutTimeZone(const QString& format) {
    QString result;
    bool quoted = false;
    for (const QChar c : format) {
        if (c == u'\'')
            quoted = !quoted;
        if (c == u't' && !quoted)
            continue;
        result += c;
    }
    return result.trimmed();
}

// A server database has no folder of its own: its logs go to the user's data folder, one folder
// per database name.
QString serverLogFolder(const QString& uri) {
    QString name = uriDatabaseName(uri);
    for (QChar& c : name) {
        if (c == u'/' || c == u'\\' || c.unicode() < 0x20)
            c = u'_';
    }
    if (name.isEmpty() || name == u"."_s || name == u".."_s)
        name = u"_"_s + name;
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) +
           u"/Logs/Telnormer/"_s + name + u'/';
}

} // namespace

ChangeLog::ChangeLog(QLocale locale)
    : locale_(std::move(locale)) {}

ChangeLog::~ChangeLog() {
    close();
}

QString ChangeLog::logPathFor(const QString& databaseFileName, const QDateTime& now, bool preview) {
    if (isServerUri(databaseFileName)) {
        const QString folder = serverLogFolder(databaseFileName);
        return folder + QDir(folder).dirName() + u'_' + now.toString(u"yyyy-MM-dd HH-mm-ss"_s) +
               (preview ? u"_preview.txt"_s : u".txt"_s);
    }
    const qsizetype slash = databaseFileName.lastIndexOf(u'/');
    if (slash < 0)
        fail(kInvalidCall, u"Invalid procedure call or argument: the database path "_s +
                               databaseFileName + u" names no folder"_s);
    const QString folder = databaseFileName.left(slash + 1);
    const QString fileName = databaseFileName.mid(slash + 1);
    // The last four characters are the extension with its dot, whatever they are.
    if (fileName.size() < 4)
        fail(kInvalidCall, u"Invalid procedure call or argument: the database file name "_s +
                               fileName + u" is too short"_s);
    return folder + u"Logs/Telnormer/"_s + fileName.chopped(4) + u'_' +
           now.toString(u"yyyy-MM-dd HH-mm-ss"_s) + (preview ? u"_preview.txt"_s : u".txt"_s);
}

QString ChangeLog::stamp(const QDateTime& now) const {
    return locale_.toString(now.date(), QLocale::ShortFormat) + u' ' +
           locale_.toString(now.time(), withoutTimeZone(locale_.timeFormat(QLocale::LongFormat)));
}

void ChangeLog::prepare(const QString& databaseFileName, const QDateTime& now, bool preview) {
    const QString note = preview ? LoadResourceString(IDS_RUN_PREVIEW_NOTE) + kCrLf : QString();
    if (file_ && preview != preview_)
        close();
    if (file_) {
        write(kCrLf + QString(52, u'_') + kCrLf + kCrLf + stamp(now) + kCrLf + note);
        return;
    }
    const QString path = logPathFor(databaseFileName, now, preview);
    if (isServerUri(databaseFileName)) {
        if (!QDir().mkpath(serverLogFolder(databaseFileName)))
            fail(ErrorNumber::FileAccess, u"Path/File access error: cannot create the folder "_s +
                                              serverLogFolder(databaseFileName));
    } else {
        const QString folder = databaseFileName.left(databaseFileName.lastIndexOf(u'/') + 1);
        createFolder(folder + u"Logs"_s);
        createFolder(folder + u"Logs/Telnormer"_s);
    }
    auto file = std::make_unique<QFile>(path);
    if (!file->open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        if (QFileInfo::exists(path))
            fail(kFileExists, u"File already exists: "_s + path);
        fail(ErrorNumber::FileAccess,
             u"Path/File access error: "_s + path + u" ("_s + file->errorString() + u')');
    }
    if (!preview) {
        try {
            journal_.open(RunJournal::pathFor(path), databaseFileName);
        } catch (const ErrorRecord&) {
            file->remove();
            throw;
        }
    }
    file_ = std::move(file);
    path_ = path;
    preview_ = preview;
    write(stamp(now) + kCrLf + note);
}

void ChangeLog::write(const QString& text, bool flush) {
    if (!file_)
        fail(91, u"Object variable or With block variable not set: the change log is not open"_s);
    const QByteArray bytes = text.toUtf8();
    if (file_->write(bytes) != bytes.size() || (flush && !file_->flush()))
        fail(ErrorNumber::FileAccess, u"Path/File access error: cannot write the change log "_s +
                                          path_ + u" ("_s + file_->errorString() + u')');
}

void ChangeLog::writeLine(const QString& text, bool flush) {
    write(text + kCrLf, flush);
}

void ChangeLog::flush() {
    write(QString());
}

void ChangeLog::tableHeader(const QString& table) {
    write(kCrLf + u"Table: "_s + table + kCrLf);
    writeLine(u"Replace in fields:"_s);
}

void ChangeLog::fieldNameLine(const QString& field) {
    writeLine(field);
}

void ChangeLog::tableHeaderEnd() {
    write(kCrLf);
}

void ChangeLog::recordHeader(const QString& label, const QString& id) {
    writeLine(kCrLf + u"Record: "_s + label + kCrLf + u"ID: "_s + id, false);
}

void ChangeLog::countryLine(const QString& country) {
    writeLine(u"Country: "_s + country, false);
}

void ChangeLog::changeLine(const QString& field, const QString& oldValue, const QString& newValue) {
    writeLine(u"Field "_s + field + u": "_s + oldValue + u" -> "_s + newValue, false);
}

void ChangeLog::validationFailure(const QStringList& notes) {
    writeLine(u"Error: Feldinhalt entspricht nicht der geforderten Bedingung! Überprüfen Sie den "
              "Feldinhalt."_s);
    writeLine(u"Letzte "_s + QString::number(notes.size()) +
              u" Datensätze wurde nicht geändert:"_s);
    for (const QString& note : notes)
        writeLine(note);
    write(kCrLf);
}

void ChangeLog::errorEntry(qint32 number, const QString& description) {
    write(kCrLf + u"Error "_s + HexNumber(number) + u" - "_s + description + kCrLf);
}

void ChangeLog::rollbackNotice() {
    writeLine(LoadResourceString(IDS_RUN_ROLLED_BACK));
}

void ChangeLog::runSummary(qint32 converted) {
    runSummary(QString::number(converted) + LoadResourceString(IDS_RUN_CONVERTED), {});
}

void ChangeLog::runSummary(const QString& firstLine, const QStringList& more) {
    QString text = kCrLf + firstLine;
    for (const QString& line : more)
        text += kCrLf + line;
    write(text);
}

void ChangeLog::unchangedLine(const QString& field, const QString& reason) {
    writeLine(u"Field "_s + field + u": "_s + reason);
}

void ChangeLog::stoppedByUser() {
    write(kCrLf + LoadResourceString(IDS_RUN_STOPPED_BY_USER) + kCrLf);
}

void ChangeLog::close() {
    journal_.close();
    if (file_) {
        file_->close();
        file_.reset();
    }
}
