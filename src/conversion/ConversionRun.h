#pragma once

#include "DbServer.h"
#include "FieldPair.h"
#include "RunJournal.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class ChangeLog;
class FormatPool;
class UndoPlan;
struct UnreadableValue;
class KanonicalFormatter;
class MessageBoxes;
class ProgressView;

// What a run works with. The window (or the batch program) keeps the log and the formatter
// across its runs.
struct RunServices {
    // The current database; the telephone component may replace the reference.
    DatabasePtr& database;
    MessageBoxes& boxes;
    ProgressView& progress;
    ChangeLog& log;
    KanonicalFormatter& formatter;
    std::function<QDateTime()> clock;
    // Shows the log file in the desktop's text viewer, without waiting; false when no viewer
    // could be started (the run then shows the path).
    std::function<bool(const QString& path)> openViewer;
    // The index that orders a table without an index "ID" (empty: none).
    std::function<QString(Table&)> indexName;
    // The display text of a table's current record.
    std::function<QString(Table&)> itemLabel;
    // Told of every value left unchanged because it could not be read (none: only counted).
    std::function<void(const UnreadableValue&)> unreadableFound = {};
    // Set: the run puts back what a journal recorded instead of formatting.
    const UndoPlan* undo = nullptr;
    // Threads that format, the run's own included: 0 means one per core, 1 no other thread.
    int formatThreads = 0;
    // Per table, the field that names each record's country; a table without one reads every
    // number in the database's location.
    QHash<QString, QString> countryFields = {};
    // Also write canonical forms that differ from the stored value only in blanks and brackets.
    bool uniform = false;
    // Told of the values the run stored (in a preview: would store), a batch at a time once it
    // is committed (none: not collected). An undo tells of its conflicts through unreadableFound.
    std::function<void(QList<UnreadableValue>&&)> convertedFound = {};
    // The summary box offers the results view beside the log.
    bool offerResults = false;
};

// Convert stores what it formats; Preview does everything else (visit, formatting, log) and
// stores nothing.
enum class RunMode { Convert, Preview };

// Why a value with digits was left as it is.
enum class Unreadable {
    NoValidNumber,
    TwoNumbers,
    DigitsAmongWords,
    TooLong,
    InvalidBytes,
    DateOrTime,
    DecimalNumber,
    GroupedThousands,
    IpAddress,
    InAddress,
    UnknownCountry,
    // Left out of canonical form for other reasons: reported, never counted as unreadable.
    RefusedByCondition, // the field's condition refuses the canonical form
    LayoutOnly,         // the canonical form differs only in blanks and brackets
    // Not left out: the results view's other rows.
    Converted,    // stored; the detail is the value written
    UndoConflict, // changed since the run, so an undo left it; the detail is what the run wrote
};
constexpr int kUnreadableReasons = 11;

// Why an undo could not put back a journal entry.
enum class Unplaced {
    NoKey,         // the entry names no record
    RecordGone,    // no record of the table has its key
    UnknownTable,  // the database has no such table
    UnknownField,  // the table has no such field
    OtherDatabase, // the journal's run worked on another database
    NotRunChange,  // a field no run of the journal chose, or one that holds no text
    CutOff,        // the journal's last line is cut off
};
constexpr int kUnplacedReasons = 7;

struct RunResult {
    bool started = false; // false when the log could not be prepared: nothing was changed
    bool stopped = false; // the user stopped the run (after an error or by request)
    bool rolledBack = false;
    // The user stopped the run and had the values it stored put back from its journal.
    bool undone = false;
    bool preview = false;
    // The user asked the summary box for the results view.
    bool resultsAsked = false;
    qint32 total = 0;
    qint32 processed = 0;
    // Values stored (in a preview: values that would be), and the records that hold them.
    qint32 converted = 0;
    qint32 records = 0;
    // Values whose canonical form could not be stored: refused by the field, the record or a
    // failed write.
    qint32 notStored = 0;
    // Values with digits left unchanged because they could not be read, and why.
    qint32 unreadable = 0;
    std::array<qint32, kUnreadableReasons> unreadableBy{};
    // An undo: fields changed since the journal's run, left as they are.
    qint32 conflicts = 0;
    // A run undone after the user's stop: the values put back.
    qint32 putBack = 0;
    // An undo: journal entries it could not put back, and why.
    qint32 unplaced = 0;
    std::array<qint32, kUnplacedReasons> unplacedBy{};
    // Batches whose commit failed: none of their values is stored.
    qint32 batchesUndone = 0;
    // Values formatted, and values whose text the run had formatted before.
    qint64 formatted = 0;
    qint64 remembered = 0;
    // Where the run's stored changes are in its journal: the run whose mark begins at the byte
    // journalFrom (-1: none, or they were put back already).
    QString journal;
    qint64 journalFrom = -1;
    QByteArray journalId; // the file's, see RunJournal::fileId
};

struct UnreadableValue {
    QString table;
    QString key; // the record's stable key; empty when the database has none
    QString label;
    QString field;
    QString value;
    Unreadable reason;
    // Refused: the field's condition; layout only: the canonical form.
    QString detail = {};
    // The country the record was read in when it is not the location's (see foreignCountry).
    QString country = {};
};

// One conversion run over the chosen fields: counts the records, visits every record of every
// table with chosen fields, rewrites the numbers whose canonical form differs, logs every change,
// commits in batches of 10 records (1 when fewer than 100 are to be visited), and after any error
// asks whether to stop and whether to roll back the open batch.
class ConversionRun {
public:
    ConversionRun(RunServices services, QList<FieldPair> chosen, bool onlyMarked,
                  RunMode mode = RunMode::Convert);
    ~ConversionRun();
    RunResult run();
    // Instead of run(): puts back what an earlier run over the same chosen fields stored, from
    // its part of its journal (see RunResult), with a summary and log of its own. An undo's
    // conflicts go to unreadableFound.
    RunResult undoOf(const RunResult& done);
    // Asks the run to stop: at its next record it asks whether to cancel (and whether to roll
    // back) as after an error. Safe from any thread and from event handlers run at the
    // repaint points.
    void requestStop() {
        stopRequested_.store(true);
        if (ConversionRun* undo = undoRun_.load())
            undo->requestStop();
    }

private:
    struct Stop {};
    struct TableState;

    // Runs one step; a failure goes to the error handling, which may end the run. False when the
    // step failed: it yields nothing.
    template <class Step>
    bool attempt(Step&& step);
    // note, when given, follows the error's entry in the log.
    void handleError(const ErrorRecord& error, const QString& note = {});
    [[noreturn]] void endOnLostConnection(const ErrorRecord& error);
    void askToStop();
    void stop();
    // The user's stop: keeps the open batch and asks whether to undo what the run stored.
    void stopByUser();
    // After the user's stop: the summary, or the undo of the run from its journal.
    void endUserStop();
    bool readOwnChanges(UndoPlan& plan, qint64& places, const QString& journal, qint64 from);
    void noteJournalPart();
    void undoStored(const UndoPlan& plan, qint64 places);
    bool prepareLog();
    void countRecords();
    void convertTable(const TablePtr& table);
    // Visits the current record; false when the cursor cannot move on.
    bool visitRecord(TableState& state);
    void writeRecordHeader(TableState& state);
    const QString& homeRegion();
    // The record's country when it is not the location's: its region, or the field's text
    // (shortened) when that names none; empty at home.
    QString foreignCountry(const TableState& state);
    void readBatch(TableState& state);
    // What to write into the field: false when it stays as it is; else text is the value as it
    // stands and replacement the value to write.
    bool formatValue(TableState& state, const FieldPtr& field, const QVariant& value,
                     const QString& country, QString& text, QString& replacement);
    bool undoValue(TableState& state, const FieldPtr& field, const QVariant& value, QString& text,
                   QString& replacement);
    const QString& recordKey(TableState& state);
    bool journalRecord(TableState& state);
    void journalUndone(qint32 count);
    // The record's ith change was stored: kept for convertedFound until its batch commits.
    void noteStored(TableState& state, qsizetype i);
    const QString& recordLabel(TableState& state);
    // Tells the caller of a value left out of canonical form.
    void tellLeft(TableState& state, const QString& field, const QString& value, Unreadable reason,
                  const QString& detail, const QString& country);
    void handOverStored();
    // Stores the record's written values (checker: only judges them); a broken condition costs
    // only the values whose field refuses them.
    void storeRecord(TableState& state, const QList<FieldPtr>& written, UpdateCheck* checker);
    // The record's ith written value alone; false when it was not stored. usable turns false
    // when the edit buffer still holds a value that was not stored.
    bool storeAlone(TableState& state, const FieldPtr& field, qsizetype i, bool journaled,
                    UpdateCheck* checker, QList<std::pair<qsizetype, QString>>& refused,
                    bool& usable);
    // Closes the open batch; a failed commit leaves none of it stored and says so.
    // thenBegin: beginBatch follows at once.
    void commitBatch(bool ask = true, bool thenBegin = false);
    bool beginBatch();
    QString batchUndone();
    void checkUndoPlan();
    void unplaced(Unplaced reason, const JournalEntry& entry);
    void recordsGone();
    void logUnplaced();
    void leaveUnchanged(TableState& state, const FieldPtr& field, Unreadable reason,
                        const QString& value);
    // offerLog false: the summary goes to the log and the status line only.
    void finish(bool offerLog = true);
    void reportProgress(const QString& tableName);
    QStringList summaryLines() const;
    QString unreadableLine() const;
    // Values whose canonical form differs only in layout are formatted: to write or to report.
    bool layoutCounts() const { return s_.uniform || bool(s_.unreadableFound); }
    QString unplacedLine() const;

    RunServices s_;
    QList<FieldPair> chosen_;
    bool onlyMarked_;
    RunResult result_;
    std::shared_ptr<Transaction> transaction_;
    qint32 step_ = 1;
    // converted as it stood at the last commit.
    qint32 convertedCommitted_ = 0;
    qint32 recordsCommitted_ = 0;
    // The change notes of the record being visited, for a validation failure.
    QStringList notes_;
    // The record's written values, for the journal before they are stored.
    QList<JournalEntry> changes_;
    // Values of the record being visited counted as converted, and its journal lines, until it
    // is stored or given up: a stop in between takes them back.
    qint32 recordCounted_ = 0;
    qint32 recordJournaled_ = 0;
    // Journal lines of the open batch's stored records.
    qint32 journalBatch_ = 0;
    // A batch is open: Begin succeeded and no commit or rollback followed.
    bool begun_ = false;
    bool saidUnkeyed_ = false;
    // An undo: the journal entries met, and those it could not place.
    QSet<const JournalEntry*> placed_;
    QList<std::pair<Unplaced, JournalEntry>> unplacedEntries_;
    // The number of the last error the handling saw.
    qint32 lastError_ = 0;
    bool busy_ = false;
    RunMode mode_;
    std::atomic<bool> stopRequested_{false};
    bool userStopped_ = false;
    // Where this run's part of the window's journal begins; -1 when it cannot be told apart.
    qint64 journalFrom_ = -1;
    // The undo after the user's stop, while it runs: stop requests go on to it.
    std::atomic<ConversionRun*> undoRun_{nullptr};
    // An undo that knows how many places its plan holds ends its visit once it met them all.
    qint64 undoPlaces_ = 0;
    qint64 undoMet_ = 0;
    bool allPlaced() const { return undoPlaces_ > 0 && undoMet_ >= undoPlaces_; }
    std::unique_ptr<FormatPool> pool_;
    std::unique_ptr<UndoPlan> ownPlan_;
    std::optional<QString> homeRegion_;
    // The rest of the open batch's records, read in one go inside its transaction.
    QList<QVariantList> batch_;
    // The values stored in the open batch, for convertedFound.
    QList<UnreadableValue> stored_;
};
