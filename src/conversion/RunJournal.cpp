#include "RunJournal.h"

#include "ErrorRecord.h"
#include "RunFiles.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <array>
#include <deque>

#include <cerrno>
#include <cstring>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const QString kFormat = u"telnormer-journal"_s;

[[noreturn]] void fail(const QString& description) {
    throw ErrorRecord(ErrorNumber::FileAccess, description, u"RunJournal"_s);
}

// Printable ASCII without quote or backslash: JSON writes it as it stands.
bool plainJson(const QString& text) {
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) {
        return c.unicode() >= 0x20 && c.unicode() < 0x7f && c != u'"' && c != u'\\';
    });
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
    try {
        writeObject(
            QJsonDocument(QJsonObject{{u"format"_s, kFormat},
                                      {u"version"_s, 1},
                                      {u"columns"_s, QJsonArray{u"table"_s, u"key"_s, u"field"_s,
                                                                u"old"_s, u"new"_s}},
                                      {u"database"_s, databaseFileName}})
                .toJson(QJsonDocument::Compact),
            true);
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
    if (broken_)
        fail(u"Path/File access error: cannot write the journal "_s + path_ +
             u" (a failed write could not be taken back)"_s);
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
    writeObject(QJsonDocument(QJsonObject{{u"fields"_s, pairs}}).toJson(QJsonDocument::Compact),
                true);
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

void RunJournal::close() {
    pending_.clear();
    broken_ = false;
    if (file_) {
        file_->close();
        file_.reset();
    }
}

JournalFacts RunJournal::read(const QString& path, const std::function<void(JournalEntry&&)>& each,
                              const FileModes* modes) {
    QString why;
    const int fd = RunFiles::openRegular(path, why, modes);
    if (fd < 0)
        fail(u"cannot read the journal "_s + path + u" ("_s + why + u')');
    QFile file;
    file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
    JournalFacts facts;
    bool headerSeen = false;
    qint64 number = 0;
    // The latest changes, which an "undone" line may still take back: a batch's at most.
    std::deque<JournalEntry> recent;
    constexpr size_t kRecent = 1 << 16;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine();
        ++number;
        // A run killed mid-line leaves a last line without its end: that change never committed.
        if (!line.endsWith('\n')) {
            facts.cutOff = true;
            break;
        }
        QJsonParseError error{};
        // Qt's parser drops a raw U+FEFF that opens a string; escaped it keeps it.
        const QJsonDocument document =
            QJsonDocument::fromJson(QByteArray(line).replace("\xEF\xBB\xBF", "\\ufeff"), &error);
        const QString where = path + u", line "_s + QString::number(number);
        if (error.error != QJsonParseError::NoError)
            fail(where + u": not a journal line"_s);
        if (document.isObject()) {
            const QJsonObject object = document.object();
            if (headerSeen && object.contains(u"undone"_s)) {
                const qint64 undone = object.value(u"undone"_s).toInteger(-1);
                if (undone < 0 || size_t(undone) > recent.size())
                    fail(where + u": not a journal line"_s);
                recent.resize(recent.size() - size_t(undone));
            } else if (headerSeen && object.contains(u"fields"_s)) {
                for (const QJsonValue pair : object.value(u"fields"_s).toArray())
                    facts.fields.insert({pair[0].toString(), pair[1].toString()});
            } else if (headerSeen && object.contains(u"unkeyed"_s)) {
                facts.unkeyed = true;
            } else if (object.value(u"format"_s).toString() != kFormat) {
                fail(where + u": not a Telnormer journal"_s);
            } else {
                headerSeen = true;
                facts.databases << object.value(u"database"_s).toString();
            }
            continue;
        }
        const QJsonArray cells = document.array();
        const bool allText = std::all_of(cells.begin(), cells.end(),
                                         [](const QJsonValue& cell) { return cell.isString(); });
        if (!headerSeen || cells.size() != 5 || !allText)
            fail(where + u": not a journal line"_s);
        recent.push_back(JournalEntry{cells[0].toString(), cells[1].toString(), cells[2].toString(),
                                      cells[3].toString(), cells[4].toString()});
        if (recent.size() > kRecent) {
            each(std::move(recent.front()));
            recent.pop_front();
        }
    }
    if (!headerSeen)
        fail(path + u" is not a Telnormer journal"_s);
    for (JournalEntry& entry : recent)
        each(std::move(entry));
    return facts;
}

QList<JournalEntry> RunJournal::read(const QString& path) {
    QList<JournalEntry> entries;
    read(path, [&entries](JournalEntry&& entry) { entries << std::move(entry); });
    return entries;
}

void UndoPlan::read(const QString& path, const FileModes* modes) {
    facts_ = RunJournal::read(
        path, [this](JournalEntry&& entry) { add(std::move(entry)); }, modes);
}

const QHash<QString, JournalEntry>* UndoPlan::entries(const QString& table,
                                                      const QString& field) const {
    const auto found = changes_.constFind({table, field});
    return found == changes_.constEnd() ? nullptr : &*found;
}

void UndoPlan::add(JournalEntry&& entry) {
    if (entry.key.isEmpty()) {
        keyless_ << std::move(entry);
        return;
    }
    auto field = changes_.find({entry.table, entry.field});
    if (field == changes_.end()) {
        fields_ << std::pair{entry.table, entry.field};
        field = changes_.insert(fields_.last(), {});
    }
    // Shared with the field's key rather than held once more.
    entry.table = field.key().first;
    entry.field = field.key().second;
    auto found = field->find(entry.key);
    if (found == field->end())
        field->insert(entry.key, std::move(entry));
    else // a later change of the same place: the first old value and the last new one
        found->newValue = std::move(entry.newValue);
}

const JournalEntry* UndoPlan::find(const QString& table, const QString& key,
                                   const QString& field) const {
    const auto inField = changes_.constFind({table, field});
    if (inField == changes_.constEnd())
        return nullptr;
    const auto found = inField->constFind(key);
    return found == inField->constEnd() ? nullptr : &*found;
}
