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
#include "VdbTool.h"

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
const DatabaseSchema kSchema = demoSchema();

QStringList chosenFields(const QString& table) {
    for (const DemoPhoneFields& chosen : kChosen) {
        if (chosen.table == table)
            return chosen.fields;
    }
    return {};
}

const TableSchema& tableSchema(const QString& name) {
    return *std::find_if(kSchema.tables.cbegin(), kSchema.tables.cend(),
                         [&](const TableSchema& t) { return t.name == name; });
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

// Every record of a table in the given order: the ID the log names it by, vdb_rid, then the
// chosen fields.
QList<QVariantList> phoneRows(const QString& path, const QString& table,
                              const QString& order = u"vdb_rid"_s) {
    const QList<FieldSchema>& fields = tableSchema(table).fields;
    const bool hasId = std::any_of(fields.cbegin(), fields.cend(),
                                   [](const FieldSchema& f) { return f.name == u"ID"_s; });
    QStringList columns{hasId ? u"\"ID\""_s : u"vdb_rid"_s, u"vdb_rid"_s};
    for (const QString& field : chosenFields(table))
        columns << quoteIdentifier(field);
    return sql(path, u"SELECT "_s + columns.join(u", "_s) + u" FROM "_s + quoteIdentifier(table) +
                         u" ORDER BY "_s + order);
}

// One visited record: where it is, its values before and after the uncut run.
struct Record {
    QString table;
    qint64 rid = 0;
    QString logId;
    QVariantList before;
    QVariantList after;
    bool changes() const { return before != after; }
};

// The fields of the index the run visits a table by: "ID", else the one GetIndexName picks.
QStringList orderOf(Table& table) {
    const auto named = [&](const QString& name) {
        for (const IndexSchema& index : tableSchema(table.Name()).indexes) {
            if (index.name == name)
                return index.fields;
        }
        return QStringList();
    };
    if (!named(u"ID"_s).isEmpty())
        return named(u"ID"_s);
    ScriptedMessageBoxes noBoxes;
    return named(GetIndexName(table, noBoxes));
}

// Every record in the run's visit order (the tables in catalogue order, each by its index, then
// by row id) with its values in the demo file and after the uncut run.
QList<Record> visitOrder(const QString& pristine, const QString& converted) {
    QList<Record> visit;
    const DatabasePtr database = VdbServer().OpenDatabase(pristine, u"ADMIN"_s, u"admin"_s, 0);
    for (const TablePtr& table : database->Tables()) {
        if (chosenFields(table->Name()).isEmpty())
            continue;
        QHash<qint64, QVariantList> after;
        for (const QVariantList& row : phoneRows(converted, table->Name()))
            after.insert(row[1].toLongLong(), row.mid(2));
        QString order;
        for (const QString& field : orderOf(*table))
            order += quoteIdentifier(field) + u", "_s;
        for (const QVariantList& row : phoneRows(pristine, table->Name(), order + u"vdb_rid"_s))
            visit << Record{table->Name(), row[1].toLongLong(), row[0].toString(), row.mid(2),
                            after.value(row[1].toLongLong())};
    }
    return visit;
}

QString key(const QStringList& parts) {
    return parts.join(u'\x1f');
}

// Every change line of the change log: table, ID, field, old value, new value.
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
        if (line.startsWith(u"Table: "_s)) {
            table = line.mid(7);
        } else if (line.startsWith(u"ID: "_s)) {
            id = line.mid(4);
        } else if (line.startsWith(u"Field "_s) && line.contains(u" -> "_s)) {
            const qsizetype colon = line.indexOf(u": "_s);
            const qsizetype arrow = line.indexOf(u" -> "_s, colon);
            changes.insert(key({table, id, line.mid(6, colon - 6),
                                line.mid(colon + 2, arrow - colon - 2), line.mid(arrow + 4)}));
        }
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
    try {
        VdbServer().OpenDatabase(path, u"ADMIN"_s, u"admin"_s, 0);
    } catch (const ErrorRecord& error) {
        violation(u"the engine cannot open the file: "_s + error.description());
        return verdict;
    }
    if (sql(path, u"PRAGMA integrity_check"_s) != QList<QVariantList>{{QVariant(u"ok"_s)}})
        violation(u"integrity_check fails"_s);
    QHash<QString, QHash<qint64, QVariantList>> now;
    for (const DemoPhoneFields& table : kChosen) {
        for (const QVariantList& row : phoneRows(path, table.table))
            now[table.table].insert(row[1].toLongLong(), row.mid(2));
    }
    const QSet<QString> log = loggedChanges(QFileInfo(path).path());
    qsizetype boundary = 0; // the changed records lie before it: whole batches
    QList<qsizetype> left;  // records that change but did not
    for (qsizetype p = 0; p < pristine.size(); ++p) {
        const Record& r = pristine[p];
        const QString where =
            r.table + u" ID "_s + r.logId + u" (visit "_s + QString::number(p) + u')';
        const QVariantList current = now[r.table].value(r.rid);
        const QStringList fields = chosenFields(r.table);
        if (current.size() != r.before.size()) {
            violation(where + u": the record is gone"_s);
            continue;
        }
        const bool changed = current != r.before;
        for (qsizetype f = 0; f < current.size(); ++f) {
            const QVariant& value = current[f];
            if (value != r.before[f] && value != r.after[f])
                violation(where + u' ' + fields[f] + u" holds \""_s + value.toString() +
                          u"\", neither"_s);
            if (changed && value != r.after[f])
                violation(where + u": only part of the record was converted"_s);
            if (value != r.before[f] &&
                !log.contains(
                    key({r.table, r.logId, fields[f], r.before[f].toString(), value.toString()})))
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

QStringList batchArguments(const QString& file) {
    QStringList args{file, u"--user"_s, u"ADMIN"_s, u"--on-error"_s, u"stop"_s};
    for (const DemoPhoneFields& table : kChosen) {
        for (const QString& field : table.fields)
            args << u"--field"_s << table.table << field;
    }
    return args;
}

QProcessEnvironment batchEnvironment() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"VDB_PASSWORD"_s, u"admin"_s);
    env.insert(u"LC_ALL"_s, u"C.UTF-8"_s);
    env.insert(u"LANGUAGE"_s, u"en"_s);
    return env;
}

ProcessResult runToEnd(const QString& file) {
    return runProcess(QString::fromUtf8(TELNORMER_BATCH_PATH), batchArguments(file), {},
                      batchEnvironment());
}

// A fresh copy of the demo file in a folder of its own, so that every run has its own log.
QString freshCopy(const QString& pristine, const QString& folder) {
    EXPECT_TRUE(QDir().mkpath(folder));
    const QString copy = folder + u"/demo.vdb"_s;
    EXPECT_TRUE(QFile::copy(pristine, copy));
    return copy;
}

QHash<QString, QList<QVariantList>> allValues(const QString& path) {
    QHash<QString, QList<QVariantList>> values;
    for (const DemoPhoneFields& table : kChosen)
        values[table.table] = phoneRows(path, table.table);
    return values;
}

void makeDemo(const QString& path, int records) {
    const ProcessResult made =
        runCaptured([&](QTextStream& in, QTextStream& out, QTextStream& err) {
            return runVdbTool(
                {u"demo"_s, path, u"--records"_s, QString::number(records), u"--seed"_s, u"11"_s},
                in, out, err);
        });
    ASSERT_EQ(made.status, 0) << made.err.toStdString();
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

// Kills spread over the whole run, one at a random moment in each of kKills equal slices, then
// two checkpoints cut short: one whose missing pages the log holds (the file must open, nothing
// lost) and one that lost pages beside (the file must be refused).
TEST(BatchKill, KilledAtAnyMomentTheFileHoldsWholeCommittedBatches) {
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const QString demo = root.filePath(u"pristine.vdb"_s);
    ASSERT_NO_FATAL_FAILURE(makeDemo(demo, kRecords));
    const QString whole = freshCopy(demo, root.filePath(u"whole"_s));
    const ProcessResult full = runToEnd(whole);
    ASSERT_EQ(full.status, 0) << full.err.toStdString();
    const QList<Record> pristine = visitOrder(demo, whole);
    ASSERT_EQ(pristine.size(), 3 * kRecords);
    ASSERT_GT(std::count_if(pristine.cbegin(), pristine.cend(),
                            [](const Record& r) { return r.changes(); }),
              pristine.size() / 2);
    const QStringList fullViolations = judge(whole, pristine).violations;
    EXPECT_TRUE(fullViolations.isEmpty()) << fullViolations.join(u'\n').toStdString();
    const QHash<QString, QList<QVariantList>> endState = allValues(whole);
    {
        // The judge sees what it is there to see: suppliers whose both fields change, one for
        // each fault made by hand in the converted file.
        QList<Record> victims;
        std::copy_if(pristine.cbegin() + 100, pristine.cend(), std::back_inserter(victims),
                     [](const Record& r) {
                         return r.table == u"Lieferanten"_s && r.before[0] != r.after[0] &&
                                r.before[1] != r.after[1];
                     });
        ASSERT_GE(victims.size(), 3);
        const auto set = [&](const Record& r, qsizetype f, const QVariant& value) {
            sql(whole,
                u"UPDATE \"Lieferanten\" SET "_s + quoteIdentifier(chosenFields(r.table)[f]) +
                    u" = ? WHERE vdb_rid = "_s + QString::number(r.rid),
                {value});
        };
        set(victims[0], 0, victims[0].before[0]); // left unconverted inside the batches
        set(victims[0], 1, victims[0].before[1]);
        set(victims[1], 0, victims[1].before[0]); // half a record
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
        const auto delay =
            static_cast<int>(double(full.milliseconds) * (kill + within(random)) / kKills);
        SCOPED_TRACE(QString(u"kill %1 after %2 ms"_s).arg(kill).arg(delay).toStdString());
        const QString copy = freshCopy(demo, root.filePath(u"kill-"_s + QString::number(kill)));
        // Every third cut is a Ctrl-C: the run stops at the next record and says so.
        const bool interrupt = kill % 3 == 2 && kill < kKills;
        if (kill >= kKills) {
            ASSERT_NO_FATAL_FAILURE(cutCheckpointShort(copy, kill > kKills));
        } else {
            QProcess process;
            process.setProcessEnvironment(batchEnvironment());
            process.start(QString::fromUtf8(TELNORMER_BATCH_PATH), batchArguments(copy));
            ASSERT_TRUE(process.waitForStarted(10000));
            if (!process.waitForFinished(delay)) {
                if (interrupt)
                    ::kill(static_cast<pid_t>(process.processId()), SIGINT);
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
            const ProcessResult resumed = runToEnd(copy);
            EXPECT_EQ(resumed.status, 0) << resumed.err.toStdString();
            EXPECT_TRUE(allValues(copy) == endState) << "the resumed run ends elsewhere";
        }
    }
    // Else the kills never met the conversion at work and proved nothing.
    EXPECT_GE(cutMidway, kKills / 3) << "of " << kKills << " kills";
    EXPECT_GE(interruptsHeard, kKills / 6);
}

} // namespace
