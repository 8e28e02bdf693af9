// The data-safety test: the real program, killed with SIGKILL at many moments of its run, must
// leave a sound database whose converted records are whole committed batches, each change in
// the log.
#include "BatchTestSupport.h"
#include "DemoGenerator.h"
#include "IndexChoice.h"
#include "NumberFormatting.h"
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

// vdb_rid and the chosen fields of every record of a table, in order.
QList<QVariantList> phoneRows(const QString& path, const QString& table,
                              const QString& order = u"vdb_rid"_s) {
    QStringList columns{u"vdb_rid"_s};
    for (const QString& field : chosenFields(table))
        columns << quoteIdentifier(field);
    return sql(path, u"SELECT "_s + columns.join(u", "_s) + u" FROM "_s + quoteIdentifier(table) +
                         u" ORDER BY "_s + order);
}

// One visited record: where it is, its values before, and what the conversion makes of them.
struct Record {
    QString table;
    qint64 rid = 0;
    QString logId; // the ID the log names it by
    QVariantList before;
    QVariantList after;
    bool changes() const { return before != after; }
};

QVariant conversionOf(KanonicalFormatter& formatter, const QVariant& value) {
    const QString text = value.toString();
    if (value.isNull() || text.startsWith(u'-') ||
        std::none_of(text.cbegin(), text.cend(), [](QChar c) { return c >= u'0' && c <= u'9'; }))
        return value;
    QString copy = text;
    const QString canonical = formatter.FormatKanonical(copy);
    return NumberChanged(text, canonical) ? QVariant(canonical) : value;
}

// The fields of the index the run visits a table by: "ID", else the one GetIndexName picks.
QStringList orderOf(Table& table, const TableSchema& schema) {
    const auto named = [&](const QString& name) {
        for (const IndexSchema& index : schema.indexes) {
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

// The demo data before any run, every record in the run's visit order: the tables in catalogue
// order, each by its index, then by row id.
QList<Record> readPristine(const QString& path) {
    QList<Record> visit;
    DatabasePtr database = VdbServer().OpenDatabase(path, u"ADMIN"_s, u"admin"_s, 0);
    KanonicalFormatter formatter(ComponentFactory::withDefaults(), database);
    const DatabaseSchema schema = demoSchema();
    for (const TablePtr& table : database->Tables()) {
        const QString name = table->Name();
        const auto tableSchema = std::find_if(schema.tables.cbegin(), schema.tables.cend(),
                                              [&](const TableSchema& t) { return t.name == name; });
        if (chosenFields(name).isEmpty())
            continue;
        QStringList order;
        for (const QString& field : orderOf(*table, *tableSchema))
            order << quoteIdentifier(field);
        const bool hasId = std::any_of(tableSchema->fields.cbegin(), tableSchema->fields.cend(),
                                       [](const FieldSchema& f) { return f.name == u"ID"_s; });
        const QList<QVariantList> ids =
            sql(path, u"SELECT "_s + (hasId ? u"\"ID\""_s : u"vdb_rid"_s) + u" FROM "_s +
                          quoteIdentifier(name) + u" ORDER BY "_s + order.join(u", "_s) +
                          u", vdb_rid"_s);
        const QList<QVariantList> rows =
            phoneRows(path, name, order.join(u", "_s) + u", vdb_rid"_s);
        for (qsizetype r = 0; r < rows.size(); ++r) {
            Record record{name, rows[r][0].toLongLong(), ids[r][0].toString(), rows[r].mid(1), {}};
            for (const QVariant& value : record.before)
                record.after << conversionOf(formatter, value);
            visit << record;
        }
    }
    formatter.release();
    return visit;
}

QString key(const QStringList& parts) {
    return parts.join(u'\x1f');
}

// What the change log says: every change line with its table and record, and the records whose
// changes a broken field condition kept out of the database.
struct LogFacts {
    QSet<QString> changes;       // table, ID, field, old value, new value
    QSet<QString> failedRecords; // table, ID
};

LogFacts readLog(const QString& folder) {
    LogFacts facts;
    const QDir logs(folder + u"/Logs/Telnormer"_s);
    const QStringList files = logs.entryList({u"*.txt"_s}, QDir::Files);
    EXPECT_LE(files.size(), 1) << files.join(u' ').toStdString();
    if (files.isEmpty())
        return facts;
    QString table;
    QString id;
    for (const QString& line :
         QString::fromUtf8(readFile(logs.filePath(files.first()))).split(u"\r\n"_s)) {
        if (line.startsWith(u"Table: "_s)) {
            table = line.mid(7);
        } else if (line.startsWith(u"ID: "_s)) {
            id = line.mid(4);
        } else if (line.startsWith(u"Error: Feldinhalt"_s)) {
            facts.failedRecords.insert(key({table, id}));
        } else if (line.startsWith(u"Field "_s) && line.contains(u" -> "_s)) {
            const qsizetype colon = line.indexOf(u": "_s);
            const qsizetype arrow = line.indexOf(u" -> "_s, colon);
            facts.changes.insert(
                key({table, id, line.mid(6, colon - 6), line.mid(colon + 2, arrow - colon - 2),
                     line.mid(arrow + 4)}));
        }
    }
    return facts;
}

QString show(const QVariant& value) {
    return value.isNull() ? u"<null>"_s : u'"' + value.toString() + u'"';
}

struct Verdict {
    QStringList violations;
    int changedRecords = 0;
    bool complete = false; // every record that changes did (or failed its condition)
};

// Judges a database file left by a run, whole or cut off: see the file's head comment.
Verdict judge(const QString& path, const QList<Record>& pristine) {
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
    const QList<QVariantList> integrity = sql(path, u"PRAGMA integrity_check"_s);
    if (integrity != QList<QVariantList>{{QVariant(u"ok"_s)}})
        violation(u"integrity_check: "_s + integrity.value(0).value(0).toString());
    QHash<QString, QHash<qint64, QVariantList>> now;
    for (const DemoPhoneFields& table : kChosen) {
        auto& rows = now[table.table];
        for (const QVariantList& row : phoneRows(path, table.table))
            rows.insert(row[0].toLongLong(), row.mid(1));
        if (rows.size() != std::count_if(pristine.cbegin(), pristine.cend(),
                                         [&](const Record& r) { return r.table == table.table; }))
            violation(table.table + u" holds "_s + QString::number(rows.size()) + u" records"_s);
    }
    const LogFacts log = readLog(QFileInfo(path).path());

    int lastChanged = -1;
    QList<bool> changed;
    for (qsizetype p = 0; p < pristine.size(); ++p) {
        const Record& record = pristine[p];
        const QString where =
            record.table + u" ID "_s + record.logId + u" (visit "_s + QString::number(p) + u')';
        const QVariantList current = now[record.table].value(record.rid);
        const QStringList fields = chosenFields(record.table);
        changed << (current != record.before);
        if (current.size() != record.before.size()) {
            violation(where + u": the record is gone"_s);
            continue;
        }
        for (qsizetype f = 0; f < current.size(); ++f) {
            const QVariant& value = current[f];
            if (value != record.before[f] && value != record.after[f])
                violation(where + u' ' + fields[f] + u" holds "_s + show(value) + u", neither "_s +
                          show(record.before[f]) + u" nor "_s + show(record.after[f]));
            if (changed.last() && value != record.after[f])
                violation(where + u": only part of the record was converted, "_s + fields[f] +
                          u" holds "_s + show(value));
            if (value != record.before[f] &&
                !log.changes.contains(key({record.table, record.logId, fields[f],
                                           record.before[f].toString(), value.toString()})))
                violation(where + u' ' + fields[f] + u": the new value "_s + show(value) +
                          u" has no change line in the log"_s);
        }
        if (changed.last()) {
            ++verdict.changedRecords;
            lastChanged = static_cast<int>(p);
            if (log.failedRecords.contains(key({record.table, record.logId})))
                violation(where + u": converted although the log lists it as not changed"_s);
        }
    }
    // The changed records lie within the first `boundary` visited: whole batches.
    const int boundary = lastChanged < 0 ? 0 : (lastChanged / kBatch + 1) * kBatch;
    verdict.complete = true;
    for (qsizetype p = 0; p < pristine.size(); ++p) {
        const Record& record = pristine[p];
        if (!record.changes() || changed[p] ||
            log.failedRecords.contains(key({record.table, record.logId})))
            continue;
        verdict.complete = false;
        if (p < boundary)
            violation(record.table + u" ID "_s + record.logId + u" (visit "_s + QString::number(p) +
                      u") lies in the committed batches up to visit "_s +
                      QString::number(boundary) + u" but was not converted"_s);
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

TEST(BatchKill, KilledAtAnyMomentTheFileHoldsWholeCommittedBatches) {
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const QString demo = root.filePath(u"pristine.vdb"_s);
    ASSERT_NO_FATAL_FAILURE(makeDemo(demo, kRecords));
    const QList<Record> pristine = readPristine(demo);
    ASSERT_EQ(pristine.size(), 3 * kRecords);
    ASSERT_GT(std::count_if(pristine.cbegin(), pristine.cend(),
                            [](const Record& r) { return r.changes(); }),
              pristine.size() / 2)
        << "the demo data should mostly change";

    // The whole run, uncut: it sets the time scale of the kills and the end state.
    const QString whole = freshCopy(demo, root.filePath(u"whole"_s));
    const ProcessResult full = runToEnd(whole);
    ASSERT_EQ(full.status, 0) << full.err.toStdString();
    const Verdict fullVerdict = judge(whole, pristine);
    EXPECT_TRUE(fullVerdict.violations.isEmpty())
        << fullVerdict.violations.join(u'\n').toStdString();
    EXPECT_TRUE(fullVerdict.complete);
    const QHash<QString, QList<QVariantList>> endState = allValues(whole);
    const ProcessResult again = runToEnd(whole);
    EXPECT_EQ(again.status, 0);
    EXPECT_TRUE(again.out.startsWith(u"0 record(s) converted.\n"_s)) << again.out.toStdString();

    std::mt19937 random(20240607);
    std::uniform_real_distribution<double> within(0.0, 1.0);
    int cutMidway = 0;
    for (int kill = 0; kill < kKills; ++kill) {
        // Spread over the whole run: one moment at random in each of kKills equal slices.
        const auto delay =
            static_cast<int>(double(full.milliseconds) * (kill + within(random)) / kKills);
        SCOPED_TRACE(QString(u"kill %1 after %2 ms"_s).arg(kill).arg(delay).toStdString());
        const QString copy = freshCopy(demo, root.filePath(u"kill-"_s + QString::number(kill)));
        QProcess process;
        process.setProcessEnvironment(batchEnvironment());
        process.start(QString::fromUtf8(TELNORMER_BATCH_PATH), batchArguments(copy));
        ASSERT_TRUE(process.waitForStarted(10000));
        if (!process.waitForFinished(delay)) {
            process.kill(); // SIGKILL
            ASSERT_TRUE(process.waitForFinished(10000));
        }
        const Verdict verdict = judge(copy, pristine);
        EXPECT_TRUE(verdict.violations.isEmpty()) << verdict.violations.join(u'\n').toStdString();
        cutMidway += verdict.changedRecords > 0 && !verdict.complete;
        // A run after the cut finishes the work: the end is that of the uncut run.
        if (kill % 4 == 3) {
            const ProcessResult resumed = runToEnd(copy);
            EXPECT_EQ(resumed.status, 0) << resumed.err.toStdString();
            EXPECT_TRUE(allValues(copy) == endState) << "the resumed run ends elsewhere";
        }
    }
    // Else the kills never met the conversion at work and proved nothing.
    EXPECT_GE(cutMidway, kKills / 3) << "of " << kKills << " kills";
    std::printf("[          ] %d kills, %d of them in the middle of the conversion; the whole run "
                "took %lld ms\n",
                kKills, cutMidway, static_cast<long long>(full.milliseconds));
}

// A kill during a checkpoint, made on purpose: SQLite writes the first page, which counts every
// page, before the pages at the end, so the main file is shorter than its header says while the
// write-ahead log still holds the rest. SQLite recovers such a file and so must the engine; a
// file that lacks pages the log does not hold stays refused.
TEST(BatchKill, ACheckpointCutShortLeavesAFileThatOpens) {
    QTemporaryDir root;
    const QString demo = root.filePath(u"pristine.vdb"_s);
    ASSERT_NO_FATAL_FAILURE(makeDemo(demo, 100));
    for (const bool lostPagesToo : {false, true}) {
        SCOPED_TRACE(lostPagesToo ? "pages lost beside the log" : "pages in the log");
        const QString file = freshCopy(demo, root.filePath(lostPagesToo ? u"lost"_s : u"logged"_s));
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
        const char header[4] = {char(pages >> 24), char(pages >> 16), char(pages >> 8),
                                char(pages)};
        main.seek(28);
        main.write(header, 4);
        if (lostPagesToo)
            main.resize(size / 2);
        main.close();
        try {
            VdbServer().OpenDatabase(file, u"ADMIN"_s, u"admin"_s, 0);
            EXPECT_FALSE(lostPagesToo);
            EXPECT_EQ(sql(file, u"PRAGMA integrity_check"_s),
                      QList<QVariantList>{{QVariant(u"ok"_s)}});
            EXPECT_EQ(sql(file, u"SELECT count(*) FROM vdb_marks WHERE table_id = 99"_s),
                      QList<QVariantList>{{QVariant(qint64(20000))}});
        } catch (const ErrorRecord& e) {
            EXPECT_TRUE(lostPagesToo) << e.description().toStdString();
            EXPECT_TRUE(e.description().startsWith(u"The database file is truncated"_s))
                << e.description().toStdString();
        }
    }
}

// The judge itself must see what it is there to see: each fault below, made by hand in a
// converted file or its log, is reported.
TEST(BatchKill, TheJudgeSeesEveryFault) {
    QTemporaryDir root;
    const QString demo = root.filePath(u"pristine.vdb"_s);
    ASSERT_NO_FATAL_FAILURE(makeDemo(demo, 100));
    const QList<Record> pristine = readPristine(demo);
    const QString file = freshCopy(demo, root.filePath(u"run"_s));
    ASSERT_EQ(runToEnd(file).status, 0);
    ASSERT_TRUE(judge(file, pristine).violations.isEmpty());
    // Suppliers in the middle whose records change in two fields (suppliers have no condition
    // that could keep a change out), one for each fault.
    QList<Record> victims;
    for (qsizetype p = 150; p < pristine.size() && victims.size() < 4; ++p) {
        const Record& r = pristine[p];
        if (r.table == u"Lieferanten"_s && r.before[0] != r.after[0] && r.before[1] != r.after[1])
            victims << r;
    }
    ASSERT_EQ(victims.size(), 4);
    const QStringList fields = chosenFields(u"Lieferanten"_s);
    const auto set = [&](const Record& r, const QString& field, const QVariant& value) {
        sql(file,
            u"UPDATE \"Lieferanten\" SET "_s + quoteIdentifier(field) + u" = ? WHERE vdb_rid = "_s +
                QString::number(r.rid),
            {value});
    };
    for (qsizetype f = 0; f < fields.size(); ++f)
        set(victims[0], fields[f], victims[0].before[f]); // left unconverted inside the batches
    set(victims[1], fields[0], victims[1].before[0]);     // half a record
    set(victims[2], fields[0], u"+49 (30) 1"_s);          // a value of nowhere
    const QDir logs(root.filePath(u"run/Logs/Telnormer"_s));
    const QString log = logs.filePath(logs.entryList({u"*.txt"_s}).value(0));
    const QByteArray line =
        QString(u"Field "_s + fields[0] + u": "_s + victims[3].before[0].toString() + u" -> "_s +
                victims[3].after[0].toString() + u"\r\n"_s)
            .toUtf8();
    ASSERT_TRUE(readFile(log).contains(line));
    writeFile(log, readFile(log).replace(line, QByteArray()));

    const QString violations = judge(file, pristine).violations.join(u'\n');
    for (const Record& r : victims)
        EXPECT_TRUE(violations.contains(u"Lieferanten ID "_s + r.logId + u" "_s))
            << r.logId.toStdString() << "\n"
            << violations.toStdString();
    for (const QString& expected :
         {u"but was not converted"_s, u"only part of the record was converted"_s,
          u"holds \"+49 (30) 1\", neither"_s, u"has no change line in the log"_s})
        EXPECT_TRUE(violations.contains(expected)) << violations.toStdString();
}

} // namespace
