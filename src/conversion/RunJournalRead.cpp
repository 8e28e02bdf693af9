#include "RunJournal.h"

#include "ErrorRecord.h"
#include "RunFiles.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <deque>
#include <optional>

// Reading a journal back: all of it, or one of its runs.

using namespace Qt::StringLiterals;

namespace {

[[noreturn]] void fail(const QString& description) {
    throw ErrorRecord(ErrorNumber::FileAccess, description, u"RunJournal"_s);
}

// Where a run begins, as the first reading of the file found it.
struct RunStart {
    qint64 offset = 0;
    qint64 line = 0;
    QString database;
    qint64 version = 0;
    qint64 mark = 0; // its number in its header's part; 0: the header itself begins it
};

// The lines of a journal in order, and where runs begin. A header line begins a part: in a
// version 1 part the header begins its one run, in a later one each run mark does, numbered
// from 1. Anything out of that order is not the journal this program wrote.
class JournalLines {
public:
    JournalLines(QFile& file, const QString& path, JournalFacts& facts)
        : file_(file)
        , path_(path)
        , facts_(facts) {}

    // Takes the next whole line; false at the end or at a line without its end (a run killed
    // mid-line: that change never committed).
    bool next() {
        offset_ = file_.pos();
        if (file_.atEnd())
            return false;
        line_ = file_.readLine();
        ++number_;
        if (!line_.endsWith('\n')) {
            // Only the last line can be cut off: one too long to read whole is no end.
            if (!file_.atEnd())
                bad(u": not a journal line"_s);
            // A mark or "undone" line cut off holds no change that could be missing.
            facts_.cutOff = !line_.startsWith('{');
            return false;
        }
        return true;
    }

    // Reads the line; with changes false, a change line is only placed, not read. True when the
    // line begins a run, which start then describes. After ending(), a header or a mark only
    // ends the run read: what it says is the next run's.
    bool read(bool changes, std::optional<JournalEntry>& entry, RunStart& start) {
        entry.reset();
        const bool object = line_.startsWith('{');
        if (!object && !changes) {
            if (!line_.startsWith('[') || !inRun())
                bad(u": not a journal line"_s);
            return false;
        }
        QJsonParseError error{};
        // Qt's parser drops a raw U+FEFF that opens a string; escaped it keeps it.
        const QJsonDocument document =
            QJsonDocument::fromJson(QByteArray(line_).replace("\xEF\xBB\xBF", "\\ufeff"), &error);
        if (error.error != QJsonParseError::NoError)
            bad(u": not a journal line"_s);
        if (!document.isObject()) {
            const QJsonArray cells = document.array();
            const bool allText = std::all_of(
                cells.begin(), cells.end(), [](const QJsonValue& cell) { return cell.isString(); });
            if (!inRun() || cells.size() != 5 || !allText)
                bad(u": not a journal line"_s);
            entry.emplace(JournalEntry{cells[0].toString(), cells[1].toString(),
                                       cells[2].toString(), cells[3].toString(),
                                       cells[4].toString()});
            return false;
        }
        const QJsonObject o = document.object();
        if (version_ > 0 && o.contains(u"run"_s)) {
            // A mark out of its order would give changes to the wrong run.
            const qint64 number = o.value(u"run"_s).toInteger(-1);
            if (version_ < 2 || number < 1 || (marks_ >= 0 && number != marks_ + 1) ||
                !o.value(u"fields"_s).isArray())
                bad(u": not a journal line"_s);
            if (ending_)
                return true;
            marks_ = number;
            unkeyed_ = false;
            readFields(o);
            start = RunStart{offset_, number_, database_, version_, marks_};
            return true;
        }
        if (version_ > 0 &&
            (o.contains(u"undone"_s) || o.contains(u"fields"_s) || o.contains(u"unkeyed"_s))) {
            if (!inRun())
                bad(u": not a journal line"_s);
            if (o.contains(u"undone"_s)) {
                undone_ = o.value(u"undone"_s).toInteger(-1);
                if (undone_ < 0)
                    bad(u": not a journal line"_s);
            }
            readFields(o);
            unkeyed_ = unkeyed_ || o.contains(u"unkeyed"_s);
            facts_.unkeyed = facts_.unkeyed || unkeyed_;
            return false;
        }
        const qint64 version = o.value(u"version"_s).toInteger(-1);
        if (o.value(u"format"_s).toString() != QLatin1StringView(RunJournal::kFormat) ||
            version < 1 || version > RunJournal::kVersion)
            bad(u": not a Telnormer journal"_s);
        if (ending_)
            return true;
        version_ = version;
        unkeyed_ = false;
        marks_ = 0;
        database_ = o.value(u"database"_s).toString();
        facts_.databases << database_;
        start = RunStart{offset_, number_, database_, version_, 0};
        return version_ < 2;
    }

    // Goes on from a run's start, as if the lines before it had been read.
    void seek(const RunStart& start) {
        if (!file_.seek(start.offset))
            fail(u"cannot read the journal "_s + path_ + u" ("_s + file_.errorString() + u')');
        number_ = start.line - 1;
        version_ = start.version;
        database_ = start.database;
        marks_ = start.mark - 1;
    }
    // The window's own run, at a byte it remembered: its mark comes first.
    void seekMark(qint64 offset) {
        if (!file_.seek(offset))
            fail(u"cannot read the journal "_s + path_ + u" ("_s + file_.errorString() + u')');
        number_ = 0;
        path_ += u" at byte "_s + QString::number(offset);
        version_ = RunJournal::kVersion;
        marks_ = -1; // its number is its own
    }
    // Set after a line that takes back changes: how many.
    qint64 takeUndone() { return std::exchange(undone_, -1); }
    // The run being read could not key its records: its "undone" counts may hold changes that
    // were never written.
    bool unkeyed() const { return unkeyed_; }
    // From the next line on, one run is read.
    void ending() { ending_ = true; }
    bool begun() const { return version_ > 0; }
    [[noreturn]] void bad(const QString& what) const {
        fail(path_ + u", line "_s + QString::number(number_) + what);
    }

private:
    bool inRun() const { return version_ == 1 || (version_ > 1 && marks_ != 0); }
    void readFields(const QJsonObject& o) {
        for (const QJsonValue pair : o.value(u"fields"_s).toArray())
            facts_.fields.insert({pair[0].toString(), pair[1].toString()});
    }

    QFile& file_;
    QString path_;
    JournalFacts& facts_;
    QByteArray line_;
    qint64 offset_ = 0;
    qint64 number_ = 0;
    qint64 version_ = 0; // of the latest header; 0 before the first
    qint64 marks_ = 0;   // run marks since that header; -1: not known
    qint64 undone_ = -1;
    bool unkeyed_ = false;
    bool ending_ = false;
    QString database_;
};

} // namespace

JournalFacts RunJournal::read(const QString& path, const std::function<void(JournalEntry&&)>& each,
                              const FileModes* modes, JournalPart part) {
    QString why;
    const int fd = RunFiles::openRegular(path, why, modes);
    if (fd < 0)
        fail(u"cannot read the journal "_s + path + u" ("_s + why + u')');
    QFile file;
    file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
    JournalFacts facts;
    std::optional<JournalEntry> entry;
    RunStart start;
    const bool whole = part.run < 0 && part.offset < 0;
    if (part.run >= 0) {
        // First where the runs begin, reading only the lines that can begin one.
        JournalFacts scanned;
        JournalLines scan(file, path, scanned);
        QList<RunStart> starts;
        while (scan.next()) {
            if (scan.read(false, entry, start))
                starts << start;
        }
        if (!scan.begun())
            fail(path + u" is not a Telnormer journal"_s);
        facts.runs = starts.size();
        if (part.run > facts.runs || starts.isEmpty())
            return facts;
        facts.run = part.run == 0 ? facts.runs : part.run;
        start = starts[facts.run - 1];
        // A header that begins its run names its database when it is read.
        if (start.mark > 0)
            facts.databases << start.database;
    }
    JournalLines lines(file, path, facts);
    if (part.run >= 0)
        lines.seek(start);
    else if (part.offset >= 0)
        lines.seekMark(part.offset);
    // The latest changes, which an "undone" line may still take back: a batch's at most.
    std::deque<JournalEntry> recent;
    constexpr size_t kRecent = 1 << 16;
    bool first = true;
    while (lines.next()) {
        const bool begins = lines.read(true, entry, start);
        if (!whole && !first && begins)
            break; // the next run
        if (!whole && first && !begins)
            lines.bad(u": not the start of a run"_s);
        first = false;
        if (!whole)
            lines.ending();
        if (begins && whole) {
            // No line takes back changes of the run before.
            for (JournalEntry& e : recent)
                each(std::move(e));
            recent.clear();
            ++facts.runs;
        }
        if (const qint64 undone = lines.takeUndone(); undone >= 0) {
            // A run that could not key its records counted them without their lines (journals
            // written so before): which lines such a count means cannot be told, and a line kept
            // whose change was not stored is found put back already.
            if (size_t(undone) <= recent.size())
                recent.resize(recent.size() - size_t(undone));
            else if (!lines.unkeyed())
                lines.bad(u": not a journal line"_s);
        }
        if (!entry)
            continue;
        recent.push_back(std::move(*entry));
        if (recent.size() > kRecent) {
            each(std::move(recent.front()));
            recent.pop_front();
        }
    }
    if (!lines.begun())
        fail(path + u" is not a Telnormer journal"_s);
    if (!whole && first) // nothing where the run should begin
        lines.bad(u": not the start of a run"_s);
    for (JournalEntry& e : recent)
        each(std::move(e));
    return facts;
}

QList<JournalEntry> RunJournal::read(const QString& path) {
    QList<JournalEntry> entries;
    read(path, [&entries](JournalEntry&& entry) { entries << std::move(entry); });
    return entries;
}

void UndoPlan::read(const QString& path, const FileModes* modes, JournalPart part) {
    facts_ = RunJournal::read(
        path, [this](JournalEntry&& entry) { add(std::move(entry)); }, modes, part);
    path_ = path;
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
