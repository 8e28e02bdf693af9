// The data-safety test: the real program, killed with SIGKILL (or stopped with Ctrl-C) at many
// moments of its run, must leave a sound database whose converted records are whole committed
// batches, each change in the log, and a run after the kill must end where the uncut run ends.
#include "BatchTestSupport.h"
#include "DemoGenerator.h"
#include "IndexChoice.h"
#include "ScriptedMessageBoxes.h"
#include "Sqlite.h"
#include "StringConversions.h"
#include "VdbServer.h"

#include <QDir>
#include <QHash>
#include <QSet>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <random>

#include <csignal>

using namespace Qt::StringLiterals;

namespace {

constexpr int kRecords = 2000; // per table
constexpr int kKills = 24;
constexpr int kBatch = 10;

const QList<DemoPhoneFields> kChosen = demoPhoneFields();

QStringList chosenFields(const QString& table) {
    for (const DemoPhoneFields& chosen : kChosen) {
        if (chosen.table == table)
            return chosen.fields;
    }
    return {};
}

// The rows of one statement, run on the file beside the engine to judge it on SQLite's terms.
QList<QVariantList> sql(const QString& path, const QString& statement,
                        const QVariantList& parameters = {}) {
    QList<QVariantList> rows;
    SqliteConnection db;
    try {
        if (db.open(path, SQLITE_OPEN_READWRITE) != SQLITE_OK)
            throw ErrorRecord(0, db.message());
        const auto query = db.prepare(statement);
        for (int i = 0; i < parameters.size(); ++i)
            query->bind(i + 1, parameters[i]);
        while (query->step()) {
            rows << QVariantList();
            for (int c = 0; c < sqlite3_column_count(query->handle()); ++c)
                rows.last() << query->value(c);
        }
    } catch (const ErrorRecord& e) {
        ADD_FAILURE() << statement.toStdString() << ": " << e.description().toStdString();
    }
    return rows;
}

// One record of a chosen table: its row id, the ID the log names it by, the chosen fields.
struct Row {
    QString table;
    QString rid;
    QString logId;
    QVariantList values;
    bool operator==(const Row&) const = default;
};

// Every record of the chosen tables in the run's visit order: the tables in catalogue order,
// each by its index "ID", else (the contacts, which have no ID) the one GetIndexName picks.
QList<Row> visitOrder(const QString& path) {
    QList<Row> rows;
    const DatabasePtr database = VdbServer().OpenDatabase(path, u"ADMIN"_s, u"admin"_s, 0);
    for (const TablePtr& table : database->Tables()) {
        const QStringList fields = chosenFields(table->Name());
        const bool hasId = table->Name() != DemoTable::Contacts;
        ScriptedMessageBoxes noBoxes;
        if (!fields.isEmpty())
            table->Indexes()->Activate(hasId ? u"ID"_s : GetIndexName(*table, noBoxes), 0);
        for (table->MoveFirst(0); !fields.isEmpty() && !table->Eof(); table->Skip(1, 0)) {
            Row row{table->Name(), table->RecordId(), table->RecordId(), {}};
            if (hasId)
                row.logId = table->Fields()->Item(u"ID"_s)->Value().toString();
            for (const QString& field : fields)
                row.values << table->Fields()->Item(field)->Value();
            rows << row;
        }
    }
    return rows;
}

// One visited record with its values before (values) and after the uncut run.
struct Record : Row {
    QVariantList after;
    bool changes() const { return values != after; }
};

// Every line of the change log about a field, behind its table and record ID.
QSet<QString> loggedChanges(const QString& folder) {
    QSet<QString> changes;
    const QDir logs(folder + u"/Logs/Telnormer"_s);
    const QStringList files = logs.entryList({u"*.txt"_s}, QDir::Files);
    EXPECT_LE(files.size(), 1) << files.join(u' ').toStdString();
    QString table;
    QString id;
    for (const QString& line :
         QString::fromUtf8(files.isEmpty() ? QByteArray() : readFile(logs.filePath(files[0])))
             .split(u"\r\n"_s)) {
        if (line.startsWith(u"Table: "_s))
            table = line.mid(7);
        else if (line.startsWith(u"ID: "_s))
            id = line.mid(4);
        else if (line.startsWith(u"Field "_s))
            changes.insert(table + u'|' + id + u'|' + line);
    }
    return changes;
}

struct Verdict {
    QStringList violations;
    int changedRecords = 0;
    bool complete = false; // every record that changes did
};

// Judges a database file left by a run, whole or cut off: see the file's head comment. A run
// stopped on request keeps its open batch as far as it came: whole records, not whole batches.
Verdict judge(const QString& path, const QList<Record>& pristine, bool wholeBatches = true) {
    Verdict verdict;
    auto violation = [&](const QString& text) {
        if (verdict.violations.size() < 12)
            verdict.violations << text;
    };
    QHash<QString, QVariantList> now; // by table and row id
    try {
        for (const Row& row : visitOrder(path))
            now.insert(row.table + u' ' + row.rid, row.values);
    } catch (const ErrorRecord& error) {
        violation(u"the engine cannot read the file: "_s + error.description());
        return verdict;
    }
    if (sql(path, u"PRAGMA integrity_check"_s) != QList<QVariantList>{{QVariant(u"ok"_s)}})
        violation(u"integrity_check fails"_s);
    const QSet<QString> log = loggedChanges(QFileInfo(path).path());
    qsizetype boundary = 0; // the changed records lie before it: whole batches
    QList<qsizetype> left;  // records that change but did not
    for (qsizetype p = 0; p < pristine.size(); ++p) {
        const Record& r = pristine[p];
        const QString where =
            r.table + u" ID "_s + r.logId + u" (visit "_s + QString::number(p) + u')';
        const QVariantList current = now.value(r.table + u' ' + r.rid);
        const QStringList fields = chosenFields(r.table);
        if (current.size() != r.values.size()) {
            violation(where + u": the record is gone"_s);
            continue;
        }
        const bool changed = current != r.values;
        for (qsizetype f = 0; f < current.size(); ++f) {
            const QVariant& value = current[f];
            if (value != r.values[f] && value != r.after[f])
                violation(where + u' ' + fields[f] + u" holds \""_s + value.toString() +
                          u"\", neither"_s);
            if (changed && value != r.after[f])
                violation(where + u": only part of the record was converted"_s);
            if (value != r.values[f] &&
                !log.contains(r.table + u'|' + r.logId + u"|Field "_s + fields[f] + u": "_s +
                              r.values[f].toString() + u" -> "_s + value.toString()))
                violation(where + u' ' + fields[f] + u": has no change line in the log"_s);
        }
        if (changed) {
            ++verdict.changedRecords;
            boundary = wholeBatches ? (p / kBatch + 1) * kBatch : p + 1;
        } else if (r.changes()) {
            left << p;
        }
    }
    verdict.complete = left.isEmpty();
    for (const qsizetype p : left) {
        if (p < boundary)
            violation(pristine[p].table + u" ID "_s + pristine[p].logId +
                      u" lies in the committed batches but was not converted"_s);
    }
    return verdict;
}

// Runs the real program on file, through every chosen field; started, not waited for, when
// process is given.
ProcessResult runBatchProgram(const QString& file, QProcess* process = nullptr) {
    QStringList args{file, u"--user"_s, u"ADMIN"_s, u"--on-error"_s, u"stop"_s};
    for (const DemoPhoneFields& table : kChosen) {
        for (const QString& field : table.fields)
            args << u"--field"_s << table.table << field;
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"VDB_PASSWORD"_s, u"admin"_s);
    env.insert(u"LC_ALL"_s, u"C.UTF-8"_s);
    env.insert(u"LANGUAGE"_s, u"en"_s);
    const QString program = QString::fromUtf8(TELNORMER_BATCH_PATH);
    if (!process)
        return runProcess(program, args, {}, env);
    process->setProcessEnvironment(env);
    process->start(program, args);
    EXPECT_TRUE(process->waitForStarted(10000));
    return {};
}

// A fresh copy of the demo file in a folder of its own, so that every run has its own log.
QString freshCopy(const QString& pristine, const QString& folder) {
    EXPECT_TRUE(QDir().mkpath(folder));
    EXPECT_TRUE(QFile::copy(pristine, folder + u"/demo.vdb"_s));
    return folder + u"/demo.vdb"_s;
}

// A kill in the middle of a checkpoint, made on purpose: SQLite writes the first page, which
// counts every page, before the pages at the end, so the main file is shorter than its header
// says while the write-ahead log still holds the rest.
void cutCheckpointShort(const QString& file, bool losePagesTheLogLacks) {
    const qint64 size = QFileInfo(file).size();
    quint32 pages = 0;
    {
        SqliteConnection db;
        ASSERT_EQ(db.open(file, SQLITE_OPEN_READWRITE), SQLITE_OK);
        sqlite3_db_config(db.handle(), SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
        db.exec(u"PRAGMA wal_autocheckpoint = 0; WITH RECURSIVE c(n) AS (SELECT 1 UNION ALL "
                "SELECT n + 1 FROM c WHERE n < 20000) INSERT INTO vdb_marks SELECT 99, n "
                "FROM c"_s);
        const auto count = db.prepare(u"PRAGMA page_count"_s);
        ASSERT_TRUE(count->step());
        pages = static_cast<quint32>(count->integer(0));
    }
    QFile main(file);
    ASSERT_TRUE(main.open(QIODevice::ReadWrite));
    ASSERT_EQ(main.size(), size) << "the log must hold the new pages";
    ASSERT_GT(qint64(pages) * 4096, size);
    const char header[4] = {char(pages >> 24), char(pages >> 16), char(pages >> 8), char(pages)};
    main.seek(28);
    main.write(header, 4);
    if (losePagesTheLogLacks)
        main.resize(size / 2);
}

// Whether the program is still running once its log in folder holds bytes.
bool runningAtLogSize(QProcess& process, const QString& folder, qint64 bytes) {
    while (!process.waitForFinished(1) && process.state() != QProcess::NotRunning) {
        if (QDir(folder + u"/Logs/Telnormer"_s).entryInfoList({u"*.txt"_s}).value(0).size() >=
            bytes)
            return true;
    }
    return false;
}

// Kills spread over the whole run, one at a random moment in each of kKills equal slices of its
// log's growth (a busy machine changes its time, not its order), then two checkpoints cut short:
// one whose missing pages the log holds (the file must open, nothing lost) and one that lost pages
// beside (the file must be refused).
TEST(BatchKill, KilledAtAnyMomentTheFileHoldsWholeCommittedBatches) {
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const QString demo = root.filePath(u"pristine.vdb"_s);
    createDemoDatabase(demo, DemoOptions{kRecords, 11});
    const QString whole = freshCopy(demo, root.filePath(u"whole"_s));
    const ProcessResult full = runBatchProgram(whole);
    ASSERT_EQ(full.status, 0) << full.err.toStdString();
    const qint64 fullLog =
        QDir(root.filePath(u"whole/Logs/Telnormer"_s)).entryInfoList({u"*.txt"_s}).value(0).size();
    const QList<Row> endState = visitOrder(whole);
    QList<Record> pristine;
    for (const Row& row : visitOrder(demo)) {
        ASSERT_EQ(row.rid, endState.value(pristine.size()).rid);
        pristine << Record{row, endState[pristine.size()].values};
    }
    ASSERT_EQ(pristine.size(), 3 * kRecords);
    ASSERT_GT(std::count_if(pristine.cbegin(), pristine.cend(),
                            [](const Record& r) { return r.changes(); }),
              pristine.size() / 2);
    const QStringList fullViolations = judge(whole, pristine).violations;
    EXPECT_TRUE(fullViolations.isEmpty()) << fullViolations.join(u'\n').toStdString();
    {
        // The judge sees what it is there to see: suppliers whose both fields change, one for
        // each fault made by hand in the converted file.
        QList<Record> victims;
        std::copy_if(pristine.cbegin() + 100, pristine.cend(), std::back_inserter(victims),
                     [](const Record& r) {
                         return r.table == u"Lieferanten"_s && r.values[0] != r.after[0] &&
                                r.values[1] != r.after[1];
                     });
        ASSERT_GE(victims.size(), 3);
        const auto set = [&](const Record& r, qsizetype f, const QVariant& value) {
            sql(whole,
                u"UPDATE \"Lieferanten\" SET "_s + quoteIdentifier(chosenFields(r.table)[f]) +
                    u" = ? WHERE vdb_rid = "_s + r.rid,
                {value});
        };
        set(victims[0], 0, victims[0].values[0]); // left unconverted inside the batches
        set(victims[0], 1, victims[0].values[1]);
        set(victims[1], 0, victims[1].values[0]); // half a record
        set(victims[2], 0, u"+49 (30) 1"_s);      // a value of nowhere, not in the log
        const QString seen = judge(whole, pristine).violations.join(u'\n');
        for (const QString& expected :
             {u"but was not converted"_s, u"only part of the record was converted"_s,
              u"holds \"+49 (30) 1\", neither"_s, u"has no change line in the log"_s})
            EXPECT_TRUE(seen.contains(expected)) << seen.toStdString();
    }

    std::mt19937 random(20240607);
    std::uniform_real_distribution<double> within(0.0, 1.0);
    int cutMidway = 0;
    int interruptsHeard = 0;
    for (int kill = 0; kill < kKills + 2; ++kill) {
        const auto logged = static_cast<qint64>(double(fullLog) * (kill + within(random)) / kKills);
        SCOPED_TRACE(QString(u"kill %1 at %2 bytes of log"_s).arg(kill).arg(logged).toStdString());
        const QString folder = root.filePath(u"kill-"_s + QString::number(kill));
        const QString copy = freshCopy(demo, folder);
        // Every third cut is a Ctrl-C or a TERM: the run stops at the next record and says so.
        const bool interrupt = kill % 3 == 2 && kill < kKills;
        QProcess process;
        if (kill >= kKills) {
            ASSERT_NO_FATAL_FAILURE(cutCheckpointShort(copy, kill > kKills));
        } else if (runBatchProgram(copy, &process); runningAtLogSize(process, folder, logged)) {
            if (interrupt)
                ::kill(static_cast<pid_t>(process.processId()), kill % 2 ? SIGINT : SIGTERM);
            else
                process.kill();
            ASSERT_TRUE(process.waitForFinished(10000));
            const QByteArray err = process.readAllStandardError();
            const bool stopped = process.exitStatus() == QProcess::NormalExit &&
                                 process.exitCode() == 1 && err.contains("stopped on request");
            interruptsHeard += interrupt && stopped;
            // Before the run is under way, Ctrl-C ends the program as ever.
            EXPECT_TRUE(!interrupt || stopped || process.exitStatus() == QProcess::CrashExit ||
                        process.exitCode() == 0)
                << err.toStdString();
        }
        const Verdict verdict = judge(copy, pristine, !interrupt);
        if (kill > kKills) {
            ASSERT_EQ(verdict.violations.size(), 1);
            EXPECT_TRUE(verdict.violations[0].contains(u"The database file is truncated"_s))
                << verdict.violations[0].toStdString();
            continue;
        }
        EXPECT_TRUE(verdict.violations.isEmpty()) << verdict.violations.join(u'\n').toStdString();
        cutMidway += verdict.changedRecords > 0 && !verdict.complete;
        if (kill == kKills) {
            EXPECT_EQ(sql(copy, u"SELECT count(*) FROM vdb_marks WHERE table_id = 99"_s),
                      QList<QVariantList>{{QVariant(qint64(20000))}});
        }
        if (kill % 4 == 3 || kill == kKills) {
            const ProcessResult resumed = runBatchProgram(copy);
            EXPECT_EQ(resumed.status, 0) << resumed.err.toStdString();
            EXPECT_TRUE(visitOrder(copy) == endState) << "the resumed run ends elsewhere";
        }
    }
    // Else the kills never met the conversion at work and proved nothing.
    EXPECT_GE(cutMidway, kKills / 3) << "of " << kKills << " kills";
    EXPECT_GE(interruptsHeard, kKills / 6);
}

} // namespace
