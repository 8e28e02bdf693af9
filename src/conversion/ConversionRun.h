#pragma once

#include "DbServer.h"
#include "FieldPair.h"
#include "RunJournal.h"

#include <QDateTime>
#include <QHash>
#include <QList>
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
    UnknownCountry
};
constexpr int kUnreadableReasons = 11;

struct RunResult {
    bool started = false; // false when the log could not be prepared: nothing was changed
    bool stopped = false; // the user stopped the run (after an error or by request)
    bool rolledBack = false;
    bool preview = false;
    qint32 total = 0;
    qint32 processed = 0;
    // Values stored (in a preview: values that would be).
    qint32 converted = 0;
    // Values whose canonical form could not be stored: refused by the field, the record or a
    // failed write.
    qint32 notStored = 0;
    // Values with digits left unchanged because they could not be read, and why.
    qint32 unreadable = 0;
    std::array<qint32, kUnreadableReasons> unreadableBy{};
    // An undo: fields changed since the journal's run, left as they are.
    qint32 conflicts = 0;
    // Values formatted, and values whose text the run had formatted before.
    qint64 formatted = 0;
    qint64 remembered = 0;
};

struct UnreadableValue {
    QString table;
    QString key; // the record's stable key; empty when the database has none
    QString label;
    QString field;
    QString value;
    Unreadable reason;
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
    // Asks the run to stop: at its next record it asks whether to cancel (and whether to roll
    // back) as after an error. Safe from any thread and from event handlers run at the
    // repaint points.
    void requestStop() { stopRequested_.store(true); }

private:
    struct Stop {};
    struct TableState;

    // Runs one step; a failure goes to the error handling, which may end the run. False when the
    // step failed: it yields nothing.
    template <class Step>
    bool attempt(Step&& step);
    void handleError(const ErrorRecord& error);
    void askToStop();
    void stop();
    bool prepareLog();
    void countRecords();
    void convertTable(const TablePtr& table);
    // Visits the current record; false when the cursor cannot move on.
    bool visitRecord(TableState& state);
    void writeRecordHeader(TableState& state);
    const QString& homeRegion();
    void readBatch(TableState& state);
    // What to write into the field: false when it stays as it is; else text is the value as it
    // stands and replacement the value to write.
    bool formatValue(TableState& state, const FieldPtr& field, const QVariant& value,
                     const QString& country, QString& text, QString& replacement);
    bool undoValue(TableState& state, const FieldPtr& field, const QVariant& value, QString& text,
                   QString& replacement);
    const QString& recordKey(TableState& state);
    void journalRecord(TableState& state);
    void leaveUnchanged(TableState& state, const FieldPtr& field, Unreadable reason,
                        const QString& value);
    void finish();
    void reportProgress(const QString& tableName);
    QStringList summaryLines() const;
    QString unreadableLine() const;

    RunServices s_;
    QList<FieldPair> chosen_;
    bool onlyMarked_;
    RunResult result_;
    std::shared_ptr<Transaction> transaction_;
    qint32 step_ = 1;
    // converted as it stood at the last commit.
    qint32 convertedCommitted_ = 0;
    // The change notes of the record being visited, for a validation failure.
    QStringList notes_;
    // The record's written values, for the journal once they are stored.
    QList<JournalEntry> changes_;
    // The number of the last error the handling saw.
    qint32 lastError_ = 0;
    bool busy_ = false;
    RunMode mode_;
    std::atomic<bool> stopRequested_{false};
    std::unique_ptr<FormatPool> pool_;
    std::optional<QString> homeRegion_;
    // The rest of the open batch's records, read in one go inside its transaction.
    QList<QVariantList> batch_;
};
