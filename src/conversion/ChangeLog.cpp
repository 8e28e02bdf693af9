#include "ChangeLog.h"

#include "DatabaseUri.h"
#include "ErrorRecord.h"
#include "GlobalDefs.h"
#include "RunFiles.h"
#include "StringTable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>
#include <cerrno>

using namespace Qt::StringLiterals;

namespace {

const QString kCrLf = u"\r\n"_s;

[[noreturn]] void fail(qint32 number, const QString& description) {
    throw ErrorRecord(number, description, u"ChangeLog"_s);
}

constexpr qint32 kInvalidCall = 5;
constexpr qint32 kFileExists = 58;

[[noreturn]] void failWithCause(const QString& description, int error) {
    fail(ErrorNumber::FileAccess,
         u"Path/File access error: "_s + description + u" ("_s + RunFiles::cause(error) + u')');
}

// Only the last level: its parent must exist.
void createFolder(const QString& folder, const FileModes& modes) {
    const QString problem = RunFiles::makeFolder(folder, modes);
    if (!problem.isEmpty())
        fail(ErrorNumber::FileAccess, u"Path/File access error: "_s + problem);
}

// A character that would not show as itself: a control (a line break above all, which would let
// a value forge entries), or one that is invisible or turns the text around (U+202E, U+FEFF,
// U+200B), or half of a pair.
bool hidden(char32_t c) {
    switch (QChar::category(c)) {
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Other_Surrogate:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return true;
    default:
        return false;
    }
}

} // namespace

QString ChangeLog::visible(const QString& text, bool backslashes) {
    const auto plain = [](QChar c) {
        return c.unicode() >= 0x20 && c.unicode() < 0x7f;
    };
    if (std::all_of(text.cbegin(), text.cend(), plain) && !text.contains(u'\\'))
        return text;
    QString result;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const qsizetype from = i;
        char32_t c = text[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(text[i], text[i + 1]);
            ++i;
        }
        if (c == u'\\')
            result += backslashes ? u"\\\\"_s : u"\\"_s;
        else if (!hidden(c))
            result += QStringView(text).sliced(from, i - from + 1);
        else if (c == u'\r' || c == u'\n' || c == u'\t' || c == 0)
            result += c == 0 ? u"\\0"_s : c == u'\r' ? u"\\r"_s : c == u'\n' ? u"\\n"_s : u"\\t"_s;
        else if (const QString hex = QString::number(c, 16).toUpper(); c < 0x100)
            result += u"\\x"_s + hex.rightJustified(2, u'0');
        else
            result +=
                (c < 0x10000 ? u"\\u"_s : u"\\U"_s) + hex.rightJustified(c < 0x10000 ? 4 : 8, u'0');
    }
    return result;
}

namespace {

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
    const FileModes modes =
        RunFiles::modesLike(isServerUri(databaseFileName) ? QString() : databaseFileName);
    QString folder;
    if (isServerUri(databaseFileName)) {
        folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
        errno = 0;
        if (!QDir().mkpath(folder)) {
            const int error = errno;
            failWithCause(u"cannot create the folder "_s + folder, error);
        }
        folder += u'/';
    } else {
        folder = databaseFileName.left(databaseFileName.lastIndexOf(u'/') + 1);
    }
    createFolder(folder + u"Logs"_s, modes);
    createFolder(folder + u"Logs/Telnormer"_s, modes);
    if (isServerUri(databaseFileName))
        createFolder(serverLogFolder(databaseFileName).chopped(1), modes);
    const int fd = RunFiles::createNew(path, modes);
    if (fd < 0) {
        if (errno == EEXIST)
            fail(kFileExists, u"File already exists: "_s + path);
        failWithCause(path, errno);
    }
    auto file = std::make_unique<QFile>();
    file->open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle);
    if (!preview) {
        try {
            journal_.open(RunJournal::pathFor(path), databaseFileName, modes);
        } catch (const ErrorRecord&) {
            QFile::remove(path);
            throw;
        }
    }
    file_ = std::move(file);
    path_ = path;
    preview_ = preview;
    try {
        write(stamp(now) + kCrLf + note);
    } catch (const ErrorRecord&) {
        // A log that never got its header (a full disk) is no log, nor its journal.
        close();
        QFile::remove(path);
        if (!preview)
            QFile::remove(RunJournal::pathFor(path));
        path_.clear();
        throw;
    }
}

void ChangeLog::write(const QString& text, bool flush) {
    if (!file_)
        fail(91, u"Object variable or With block variable not set: the change log is not open"_s);
    const QByteArray bytes = text.toUtf8();
    // errno tells the cause: the file's own text reads "Unknown error" after a short write.
    errno = 0;
    if (file_->write(bytes) != bytes.size() || (flush && !file_->flush())) {
        const int error = errno;
        fail(ErrorNumber::FileAccess,
             u"Path/File access error: cannot write the change log "_s + path_ + u" ("_s +
                 (error != 0 ? RunFiles::cause(error) : file_->errorString()) + u')');
    }
}

void ChangeLog::writeLine(const QString& text, bool flush) {
    write(text + kCrLf, flush);
}

void ChangeLog::flush() {
    write(QString());
}

void ChangeLog::tableHeader(const QString& table) {
    write(kCrLf + u"Table: "_s + visible(table) + kCrLf);
    writeLine(u"Replace in fields:"_s);
}

void ChangeLog::fieldNameLine(const QString& field) {
    writeLine(visible(field));
}

void ChangeLog::tableHeaderEnd() {
    write(kCrLf);
}

void ChangeLog::recordHeader(const QString& label, const QString& id) {
    writeLine(kCrLf + u"Record: "_s + visible(label) + kCrLf + u"ID: "_s + visible(id), false);
}

void ChangeLog::countryLine(const QString& country) {
    writeLine(u"Country: "_s + visible(country), false);
}

void ChangeLog::changeLine(const QString& field, const QString& oldValue, const QString& newValue) {
    writeLine(u"Field "_s + visible(field) + u": "_s + visible(oldValue) + u" -> "_s +
                  visible(newValue),
              false);
}

void ChangeLog::validationFailure(const QStringList& notes) {
    writeLine(u"Error: Feldinhalt entspricht nicht der geforderten Bedingung! Überprüfen Sie den "
              "Feldinhalt."_s);
    writeLine(u"Letzte "_s + QString::number(notes.size()) +
              u" Datensätze wurde nicht geändert:"_s);
    for (const QString& note : notes)
        writeLine(visible(note));
    write(kCrLf);
}

void ChangeLog::errorEntry(qint32 number, const QString& description) {
    write(kCrLf + u"Error "_s + HexNumber(number) + u" - "_s + visible(description) + kCrLf);
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
    writeLine(u"Field "_s + visible(field) + u": "_s + visible(reason));
}

void ChangeLog::stoppedByUser() {
    write(kCrLf + LoadResourceString(IDS_RUN_STOPPED_BY_USER) + kCrLf);
}

void ChangeLog::noteLine(const QString& text) {
    writeLine(text);
}

void ChangeLog::close() {
    journal_.close();
    if (file_) {
        file_->close();
        file_.reset();
    }
}
