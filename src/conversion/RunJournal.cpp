#include "RunJournal.h"

#include "ErrorRecord.h"
#include "RunFiles.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <array>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

[[noreturn]] void fail(const QString& description) {
    throw ErrorRecord(ErrorNumber::FileAccess, description, u"RunJournal"_s);
}

// Printable ASCII without quote or backslash: JSON writes it as it stands.
bool plainJson(const QString& text) {
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) {
        return c.unicode() >= 0x20 && c.unicode() < 0x7f && c != u'"' && c != u'\\';
    });
}

QByteArray idOf(const struct stat& info) {
    return QByteArray::number(quint64(info.st_dev)) + ':' +
           QByteArray::number(quint64(info.st_ino));
}

} // namespace

RunJournal::RunJournal() = default;

RunJournal::~RunJournal() {
    close();
}

QString RunJournal::pathFor(const QString& logPath) {
    return (logPath.endsWith(u".txt"_s) ? logPath.chopped(4) : logPath) + u".jsonl"_s;
}

void RunJournal::open(const QString& path, const QString& databaseFileName,
                      const FileModes& modes) {
    close();
    const int fd = RunFiles::createNew(path, modes);
    if (fd < 0) {
        const QString cause = RunFiles::cause(errno);
        fail(u"Path/File access error: "_s + path + u" ("_s + cause + u')');
    }
    auto file = std::make_unique<QFile>();
    file->open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle);
    file_ = std::move(file);
    path_ = path;
    runs_ = 0;
    runStart_ = -1;
    try {
        writeObject(
            QJsonDocument(QJsonObject{{u"format"_s, QString::fromLatin1(kFormat)},
                                      {u"version"_s, RunJournal::kVersion},
                                      {u"columns"_s, QJsonArray{u"table"_s, u"key"_s, u"field"_s,
                                                                u"old"_s, u"new"_s}},
                                      {u"database"_s, databaseFileName}})
                .toJson(QJsonDocument::Compact),
            true);
        // A change before the first run's mark would belong to no run.
        unmarked_ = true;
    } catch (const ErrorRecord&) {
        // Made by this call, so no one else's: a journal without its header is no journal.
        close();
        QFile::remove(path);
        throw;
    }
}

void RunJournal::writeObject(const QByteArray& json, bool flush) {
    if (!file_)
        fail(u"The journal is not open."_s);
    pending_ += json;
    pending_ += '\n';
    if (flush)
        this->flush();
}

// Straight to the file, past QFile's buffer, which would keep a failed rest and write it later.
void RunJournal::flush() {
    if (!file_ || pending_.isEmpty())
        return;
    const QByteArray lines = std::exchange(pending_, {});
    auto failed = [this](int error) {
        fail(u"Path/File access error: cannot write the journal "_s + path_ + u" ("_s +
             RunFiles::cause(error) + u')');
    };
    if (broken_ || unmarked_)
        fail(u"Path/File access error: cannot write the journal "_s + path_ +
             (broken_ ? u" (a failed write could not be taken back)"_s
                      : u" (the run's start could not be written)"_s));
    if (!file_->flush())
        failed(EIO);
    const int fd = file_->handle();
    const off_t good = ::lseek(fd, 0, SEEK_END);
    qint64 done = 0;
    while (done < lines.size()) {
        const ssize_t n = ::write(fd, lines.constData() + done, size_t(lines.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : ENOSPC;
            // Half a line followed by the next would make the rest of the file unreadable.
            if (good < 0 || ::ftruncate(fd, good) != 0 || ::lseek(fd, good, SEEK_SET) < 0)
                broken_ = true;
            failed(error);
        }
        done += n;
    }
}

void RunJournal::markUndone(qint32 count) {
    if (count > 0)
        writeObject(QJsonDocument(QJsonObject{{u"undone"_s, count}}).toJson(QJsonDocument::Compact),
                    true);
}

void RunJournal::runFields(const QList<FieldPairKey>& fields) {
    QJsonArray pairs;
    for (const auto& [table, field] : fields)
        pairs << QJsonArray{table, field};
    if (!file_)
        fail(u"The journal is not open."_s);
    runStart_ = -1;
    unmarked_ = false;
    try {
        flush();
        const off_t start = ::lseek(file_->handle(), 0, SEEK_END);
        writeObject(QJsonDocument(QJsonObject{{u"run"_s, runs_ + 1}, {u"fields"_s, pairs}})
                        .toJson(QJsonDocument::Compact),
                    true);
        ++runs_;
        runStart_ = start;
    } catch (const ErrorRecord&) {
        unmarked_ = true;
        throw;
    }
}

void RunJournal::markUnkeyed() {
    writeObject(QJsonDocument(QJsonObject{{u"unkeyed"_s, true}}).toJson(QJsonDocument::Compact),
                true);
}

void RunJournal::write(const JournalEntry& entry) {
    if (!file_)
        fail(u"The journal is not open."_s);
    // An array, not an object: the header names the columns once. Plain texts, the common case,
    // are written without building a document, to the same bytes.
    const std::array<const QString*, 5> columns{&entry.table, &entry.key, &entry.field,
                                                &entry.oldValue, &entry.newValue};
    if (std::all_of(columns.cbegin(), columns.cend(),
                    [](const QString* text) { return plainJson(*text); })) {
        QByteArray json;
        json.reserve(64);
        for (const QString* text : columns) {
            json += json.isEmpty() ? "[\"" : ",\"";
            json += text->toLatin1();
            json += '"';
        }
        json += ']';
        writeObject(json);
        return;
    }
    writeObject(QJsonDocument(
                    QJsonArray{entry.table, entry.key, entry.field, entry.oldValue, entry.newValue})
                    .toJson(QJsonDocument::Compact));
}

QByteArray RunJournal::fileId() const {
    struct stat info {};
    return file_ && ::fstat(file_->handle(), &info) == 0 ? idOf(info) : QByteArray();
}

QByteArray RunJournal::fileIdAt(const QString& path) {
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? idOf(info) : QByteArray();
}

void RunJournal::close() {
    pending_.clear();
    broken_ = false;
    unmarked_ = false;
    if (file_) {
        file_->close();
        file_.reset();
    }
}
