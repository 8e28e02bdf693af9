#pragma once

#include "DbServer.h"
#include "FieldPair.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>

class ChangeLog;
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
    // Shows the log file in the desktop's text viewer, without waiting.
    std::function<void(const QString& path)> openViewer;
    // The index that orders a table without an index "ID" (empty: none).
    std::function<QString(Table&)> indexName;
    // The display text of a table's current record.
    std::function<QString(Table&)> itemLabel;
};

struct RunResult {
    bool started = false; // false when the log could not be prepared: nothing was changed
    bool stopped = false; // the user stopped the run after an error
    bool rolledBack = false;
    qint32 total = 0;
    qint32 processed = 0;
    qint32 converted = 0;
};

// One conversion run over the chosen fields: counts the records, visits every record of every
// table with chosen fields, rewrites the numbers whose canonical form differs, logs every change,
// commits in batches of 10 records (1 when fewer than 100 are to be visited), and after any error
// asks whether to stop and whether to roll back the open batch.
class ConversionRun {
public:
    ConversionRun(RunServices services, QList<FieldPair> chosen, bool onlyMarked);
    RunResult run();

private:
    struct Stop {};
    struct TableState;

    // Runs one step; a failure goes to the error handling, which may end the run. False when the
    // step failed: it yields nothing.
    template <class Step>
    bool attempt(Step&& step);
    void handleError(const ErrorRecord& error);
    void stop();
    bool prepareLog();
    void countRecords();
    void convertTable(const TablePtr& table);
    // Visits the current record; false when the cursor cannot move on.
    bool visitRecord(TableState& state);
    void finish();
    void reportProgress(const QString& tableName);

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
    // The number of the last error the handling saw.
    qint32 lastError_ = 0;
    bool busy_ = false;
};
