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
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <random>

using namespace Qt::StringLiterals;

namespace {

constexpr int kRecords = 2000; // per table
constexpr int kKills = 24;
constexpr int kBatch = 10;

const QList<DemoPhoneFields> kChosen = demoPhoneFields();

// A plain SQLite connection, beside the engine, to judge the file on SQLite's own terms.
class RawDatabase {
public:
    explicit RawDatabase(const QString& path) {
        if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db_, SQLITE_OPEN_READWRITE,
                            nullptr) != SQLITE_OK)
            ADD_FAILURE() << "sqlite3_open_v2: " << sqlite3_errmsg(db_);
    }
    ~RawDatabase() { sqlite3_close(db_); }
    RawDatabase(const RawDatabase&) = delete;
    RawDatabase& operator=(const RawDatabase&) = delete;

    QList<QVariantList> query(const QString& sql) {
        QList<QVariantList> rows;
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db_, sql.toUtf8().constData(), -1, &statement, nullptr) !=
            SQLITE_OK) {
            ADD_FAILURE() << sql.toStdString() << ": " << sqlite3_errmsg(db_);
            return rows;
        }
        int rc = SQLITE_ROW;
        while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
            QVariantList row;
            for (int c = 0; c < sqlite3_column_count(statement); ++c) {
                switch (sqlite3_column_type(statement, c)) {
                case SQLITE_NULL:
                    row << QVariant();
                    break;
                case SQLITE_INTEGER:
                    row << QVariant(static_cast<qint64>(sqlite3_column_int64(statement, c)));
                    break;
                default:
                    row << QVariant(QString::fromUtf8(
                        reinterpret_cast<const char*>(sqlite3_column_text(statement, c)),
                        sqlite3_column_bytes(statement, c)));
                }
            }
            rows << row;
        }
        if (rc != SQLITE_DONE)
            ADD_FAILURE() << sql.toStdString() << ": " << sqlite3_errmsg(db_);
        sqlite3_finalize(statement);
        return rows;
    }

    // Runs a statement with text parameters, Null for a null QVariant.
    void exec(const QString& sql, const QVariantList& parameters) {
        sqlite3_stmt* statement = nullptr;
        ASSERT_EQ(sqlite3_prepare_v2(db_, sql.toUtf8().constData(), -1, &statement, nullptr),
                  SQLITE_OK)
            << sqlite3_errmsg(db_);
        for (int i = 0; i < parameters.size(); ++i) {
            if (parameters[i].isNull()) {
                sqlite3_bind_null(statement, i + 1);
            } else {
                const QByteArray text = parameters[i].toString().toUtf8();
                sqlite3_bind_text(statement, i + 1, text.constData(), int(text.size()),
                                  SQLITE_TRANSIENT);
            }
        }
        EXPECT_EQ(sqlite3_step(statement), SQLITE_DONE) << sqlite3_errmsg(db_);
        sqlite3_finalize(statement);
    }

private:
    sqlite3* db_ = nullptr;
};

bool hasAsciiDigit(const QString& text) {
    return std::any_of(text.cbegin(), text.cend(), [](QChar c) { return c >= u'0' && c <= u'9'; });
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

// The demo data before any run, with every record in the run's visit order: the tables in
// catalogue order, each by its index "ID" or the one GetIndexName picks, then by row id.
struct Pristine {
    QList<Record> visit;
};

QVariant conversionOf(KanonicalFormatter& formatter, const QVariant& value) {
    if (value.isNull())
        return value;
    const QString text = value.toString();
    if (text.startsWith(u'-') || !hasAsciiDigit(text))
        return value;
    QString copy = text;
    const QString canonical = formatter.FormatKanonical(copy);
    return NumberChanged(text, canonical) ? QVariant(canonical) : value;
}

QStringList orderOf(Table& table, const TableSchema& schema) {
    QString index;
    for (const IndexSchema& candidate : schema.indexes) {
        if (candidate.name == u"ID"_s)
            index = candidate.name;
    }
    if (index.isEmpty()) {
        ScriptedMessageBoxes noBoxes;
        index = GetIndexName(table, noBoxes);
    }
    for (const IndexSchema& candidate : schema.indexes) {
        if (candidate.name == index)
            return candidate.fields;
    }
    return {};
}

Pristine readPristine(const QString& path) {
    Pristine pristine;
    DatabasePtr database = VdbServer().OpenDatabase(path, u"ADMIN"_s, u"admin"_s, 0);
    KanonicalFormatter formatter(ComponentFactory::withDefaults(), database);
    const DatabaseSchema schema = demoSchema();
    RawDatabase raw(path);
    for (const TablePtr& table : database->Tables()) {
        const QString name = table->Name();
        const auto chosen = std::find_if(kChosen.cbegin(), kChosen.cend(),
                                         [&](const DemoPhoneFields& c) { return c.table == name; });
        if (chosen == kChosen.cend())
            continue;
        const auto tableSchema = std::find_if(schema.tables.cbegin(), schema.tables.cend(),
                                              [&](const TableSchema& t) { return t.name == name; });
        QStringList order;
        for (const QString& field : orderOf(*table, *tableSchema))
            order << quoteIdentifier(field);
        order << u"vdb_rid"_s;
        bool hasId = false;
        for (const FieldSchema& field : tableSchema->fields)
            hasId = hasId || field.name == u"ID"_s;
        QStringList columns{u"vdb_rid"_s, hasId ? quoteIdentifier(u"ID"_s) : u"vdb_rid"_s};
        for (const QString& field : chosen->fields)
            columns << quoteIdentifier(field);
        for (const QVariantList& row :
             raw.query(u"SELECT "_s + columns.join(u", "_s) + u" FROM "_s + quoteIdentifier(name) +
                       u" ORDER BY "_s + order.join(u", "_s))) {
            Record record{name, row[0].toLongLong(), row[1].toString(), row.mid(2), {}};
            for (const QVariant& value : record.before)
                record.after << conversionOf(formatter, value);
            pristine.visit << record;
        }
    }
    formatter.release();
    return pristine;
}

QString key(const QStringList& parts) {
    return parts.join(u'\x1f');
}

// What the change log says: every change line with its table and record, and the records whose
// changes a broken field condition kept out of the database.
struct LogFacts {
    QSet<QString> changes;       // table, ID, field, old value, new value
    QSet<QString> failedRecords; // table, ID
    bool present = false;
};

LogFacts readLog(const QString& folder) {
    LogFacts facts;
    const QDir logs(folder + u"/Logs/Telnormer"_s);
    const QStringList files = logs.entryList({u"*.txt"_s}, QDir::Files);
    EXPECT_LE(files.size(), 1) << files.join(u' ').toStdString();
    if (files.isEmpty())
        return facts;
    facts.present = true;
    QFile file(logs.filePath(files.first()));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split(u"\r\n"_s);
    QString table;
    QString id;
    for (const QString& line : lines) {
        if (line.startsWith(u"Table: "_s)) {
            table = line.mid(7);
        } else if (line.startsWith(u"ID: "_s)) {
            id = line.mid(4);
        } else if (line.startsWith(u"Error: Feldinhalt"_s)) {
            facts.failedRecords.insert(key({table, id}));
        } else if (line.startsWith(u"Field "_s) && line.contains(u" -> "_s)) {
            const qsizetype colon = line.indexOf(u": "_s);
            const QString field = line.mid(6, colon - 6);
            const QString values = line.mid(colon + 2);
            const qsizetype arrow = values.indexOf(u" -> "_s);
            facts.changes.insert(
                key({table, id, field, values.left(arrow), values.mid(arrow + 4)}));
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
    int boundary = 0;      // the changed records lie within the first `boundary` visited
    bool complete = false; // every record that changes did (or failed its condition)
};

// Judges a database file left by a run, whole or cut off: see the file's head comment.
Verdict judge(const QString& path, const Pristine& pristine) {
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
    RawDatabase raw(path);
    const QList<QVariantList> integrity = raw.query(u"PRAGMA integrity_check"_s);
    if (integrity != QList<QVariantList>{{QVariant(u"ok"_s)}})
        violation(u"integrity_check: "_s + integrity.value(0).value(0).toString());

    QHash<QString, QHash<qint64, QVariantList>> now;
    for (const DemoPhoneFields& table : kChosen) {
        QStringList columns{u"vdb_rid"_s};
        for (const QString& field : table.fields)
            columns << quoteIdentifier(field);
        auto& rows = now[table.table];
        for (const QVariantList& row : raw.query(u"SELECT "_s + columns.join(u", "_s) +
                                                 u" FROM "_s + quoteIdentifier(table.table)))
            rows.insert(row[0].toLongLong(), row.mid(1));
        const auto expected =
            std::count_if(pristine.visit.cbegin(), pristine.visit.cend(),
                          [&](const Record& r) { return r.table == table.table; });
        if (rows.size() != expected)
            violation(table.table + u" holds "_s + QString::number(rows.size()) + u" records"_s);
    }
    const LogFacts log = readLog(QFileInfo(path).path());

    int lastChanged = -1;
    QList<bool> changed;
    for (qsizetype p = 0; p < pristine.visit.size(); ++p) {
        const Record& record = pristine.visit[p];
        const QString where =
            record.table + u" ID "_s + record.logId + u" (visit "_s + QString::number(p) + u')';
        const QVariantList current = now[record.table].value(record.rid);
        const QStringList fields = kChosen[std::find_if(kChosen.cbegin(), kChosen.cend(),
                                                        [&](const DemoPhoneFields& c) {
                                                            return c.table == record.table;
                                                        }) -
                                           kChosen.cbegin()]
                                       .fields;
        if (current.size() != record.before.size()) {
            violation(where + u": the record is gone"_s);
            changed << false;
            continue;
        }
        const bool isChanged = current != record.before;
        changed << isChanged;
        for (qsizetype f = 0; f < current.size(); ++f) {
            const QVariant& value = current[f];
            if (value != record.before[f] && value != record.after[f])
                violation(where + u' ' + fields[f] + u" holds "_s + show(value) + u", neither "_s +
                          show(record.before[f]) + u" nor "_s + show(record.after[f]));
            if (isChanged && value != record.after[f])
                violation(where + u": only part of the record was converted, "_s + fields[f] +
                          u" holds "_s + show(value));
            if (value != record.before[f] &&
                !log.changes.contains(key({record.table, record.logId, fields[f],
                                           record.before[f].toString(), value.toString()})))
                violation(where + u' ' + fields[f] + u": the new value "_s + show(value) +
                          u" has no change line in the log"_s);
        }
        if (isChanged) {
            ++verdict.changedRecords;
            lastChanged = static_cast<int>(p);
            if (log.failedRecords.contains(key({record.table, record.logId})))
                violation(where + u": converted although the log lists it as not changed"_s);
        }
    }
    verdict.boundary = lastChanged < 0 ? 0 : (lastChanged / kBatch + 1) * kBatch;
    verdict.complete = true;
    for (qsizetype p = 0; p < pristine.visit.size(); ++p) {
        const Record& record = pristine.visit[p];
        if (!record.changes() || changed[p] ||
            log.failedRecords.contains(key({record.table, record.logId})))
            continue;
        verdict.complete = false;
        if (p < verdict.boundary)
            violation(record.table + u" ID "_s + record.logId + u" (visit "_s + QString::number(p) +
                      u") lies in the committed batches up to visit "_s +
                      QString::number(verdict.boundary) + u" but was not converted"_s);
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

struct Finished {
    int status = -1;
    QString out;
    QString err;
    qint64 milliseconds = 0;
};

// Runs the program on file to its end.
Finished runToEnd(const QString& file) {
    QProcess process;
    process.setProcessEnvironment(batchEnvironment());
    QElapsedTimer timer;
    timer.start();
    process.start(QString::fromUtf8(TELNORMER_BATCH_PATH), batchArguments(file));
    EXPECT_TRUE(process.waitForFinished(120000)) << process.errorString().toStdString();
    Finished result{process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                    QString::fromUtf8(process.readAllStandardOutput()),
                    QString::fromUtf8(process.readAllStandardError()), timer.elapsed()};
    return result;
}

// A fresh copy of the demo file in a folder of its own, so that every run has its own log.
QString freshCopy(const QString& pristine, const QString& folder) {
    EXPECT_TRUE(QDir().mkpath(folder));
    const QString copy = folder + u"/demo.vdb"_s;
    EXPECT_TRUE(QFile::copy(pristine, copy));
    return copy;
}

QHash<QString, QList<QVariantList>> allValues(const QString& path) {
    RawDatabase raw(path);
    QHash<QString, QList<QVariantList>> values;
    for (const DemoPhoneFields& table : kChosen) {
        QStringList columns{u"vdb_rid"_s};
        for (const QString& field : table.fields)
            columns << quoteIdentifier(field);
        values[table.table] = raw.query(u"SELECT "_s + columns.join(u", "_s) + u" FROM "_s +
                                        quoteIdentifier(table.table) + u" ORDER BY vdb_rid"_s);
    }
    return values;
}

void makeDemo(const QString& path, int records) {
    QString none;
    QString output;
    QTextStream in(&none, QIODevice::ReadOnly);
    QTextStream out(&output, QIODevice::WriteOnly);
    QTextStream err(&output, QIODevice::WriteOnly);
    ASSERT_EQ(runVdbTool(
                  {u"demo"_s, path, u"--records"_s, QString::number(records), u"--seed"_s, u"11"_s},
                  in, out, err),
              0)
        << output.toStdString();
}

TEST(BatchKill, KilledAtAnyMomentTheFileHoldsWholeCommittedBatches) {
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const QString demo = root.filePath(u"pristine.vdb"_s);
    ASSERT_NO_FATAL_FAILURE(makeDemo(demo, kRecords));
    const Pristine pristine = readPristine(demo);
    ASSERT_EQ(pristine.visit.size(), 3 * kRecords);
    const auto changing = std::count_if(pristine.visit.cbegin(), pristine.visit.cend(),
                                        [](const Record& r) { return r.changes(); });
    ASSERT_GT(changing, pristine.visit.size() / 2) << "the demo data should mostly change";

    // The whole run, uncut: it sets the time scale of the kills and the end state.
    const QString whole = freshCopy(demo, root.filePath(u"whole"_s));
    const Finished full = runToEnd(whole);
    ASSERT_EQ(full.status, 0) << full.err.toStdString();
    const Verdict fullVerdict = judge(whole, pristine);
    EXPECT_TRUE(fullVerdict.violations.isEmpty())
        << fullVerdict.violations.join(u'\n').toStdString();
    EXPECT_TRUE(fullVerdict.complete);
    const QHash<QString, QList<QVariantList>> endState = allValues(whole);
    const Finished again = runToEnd(whole);
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
        if (verdict.changedRecords > 0 && !verdict.complete)
            ++cutMidway;
        // A run after the cut finishes the work: the end is that of the uncut run.
        if (kill % 4 == 3) {
            const Finished resumed = runToEnd(copy);
            EXPECT_EQ(resumed.status, 0) << resumed.err.toStdString();
            EXPECT_TRUE(allValues(copy) == endState) << "the resumed run ends elsewhere";
        }
    }
    // Else the kills never met the conversion at work and proved nothing.
    EXPECT_GE(cutMidway, kKills / 3) << "of " << kKills << " kills";
    RecordProperty("cutMidway", cutMidway);
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
        sqlite3* raw = nullptr;
        ASSERT_EQ(sqlite3_open(QFile::encodeName(file).constData(), &raw), SQLITE_OK);
        sqlite3_db_config(raw, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
        ASSERT_EQ(sqlite3_exec(raw,
                               "PRAGMA wal_autocheckpoint = 0; WITH RECURSIVE c(n) AS (SELECT 1 "
                               "UNION ALL SELECT n + 1 FROM c WHERE n < 20000) INSERT INTO "
                               "vdb_marks SELECT 99, n FROM c",
                               nullptr, nullptr, nullptr),
                  SQLITE_OK)
            << sqlite3_errmsg(raw);
        sqlite3_stmt* count = nullptr;
        sqlite3_prepare_v2(raw, "PRAGMA page_count", -1, &count, nullptr);
        ASSERT_EQ(sqlite3_step(count), SQLITE_ROW);
        const auto pages = static_cast<quint32>(sqlite3_column_int64(count, 0));
        sqlite3_finalize(count);
        sqlite3_close(raw);
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
            RawDatabase check(file);
            EXPECT_EQ(check.query(u"PRAGMA integrity_check"_s),
                      QList<QVariantList>{{QVariant(u"ok"_s)}});
            EXPECT_EQ(check.query(u"SELECT count(*) FROM vdb_marks WHERE table_id = 99"_s),
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
struct Sabotage {
    const char* name;
    QString expected; // part of the violation reported
};

// Names the case in failure messages.
void PrintTo(const Sabotage& c, std::ostream* out) {
    *out << c.name;
}

class BatchKillJudge : public ::testing::TestWithParam<Sabotage> {};

TEST_P(BatchKillJudge, SeesTheFault) {
    QTemporaryDir root;
    const QString demo = root.filePath(u"pristine.vdb"_s);
    ASSERT_NO_FATAL_FAILURE(makeDemo(demo, 100));
    const Pristine pristine = readPristine(demo);
    const QString file = freshCopy(demo, root.filePath(u"run"_s));
    ASSERT_EQ(runToEnd(file).status, 0);
    ASSERT_TRUE(judge(file, pristine).violations.isEmpty());

    // A supplier in the middle whose record changes in two fields (suppliers have no condition
    // that could keep a change out).
    const auto found =
        std::find_if(pristine.visit.cbegin() + 150, pristine.visit.cend(), [](const Record& r) {
            int changes = 0;
            for (qsizetype f = 0; f < r.before.size(); ++f)
                changes += r.before[f] != r.after[f];
            return r.table == u"Lieferanten"_s && changes >= 2;
        });
    ASSERT_NE(found, pristine.visit.cend());
    const Record& record = *found;
    qsizetype field = 0;
    while (record.before[field] == record.after[field])
        ++field;
    const QString column = quoteIdentifier(kChosen[1].fields[field]);
    const QString where = u" WHERE vdb_rid = "_s + QString::number(record.rid);
    const QString name = QString::fromLatin1(GetParam().name);
    if (name == u"UnconvertedInsideTheBatches"_s) {
        QString assignments;
        QVariantList values;
        for (qsizetype f = 0; f < record.before.size(); ++f) {
            assignments +=
                (f ? u", "_s : QString()) + quoteIdentifier(kChosen[1].fields[f]) + u" = ?"_s;
            values << record.before[f];
        }
        RawDatabase(file).exec(u"UPDATE \"Lieferanten\" SET "_s + assignments + where, values);
    } else if (name == u"HalfARecord"_s) {
        RawDatabase(file).exec(u"UPDATE \"Lieferanten\" SET "_s + column + u" = ?"_s + where,
                               {record.before[field]});
    } else if (name == u"StrayValue"_s) {
        RawDatabase(file).exec(u"UPDATE \"Lieferanten\" SET "_s + column + u" = ?"_s + where,
                               {u"+49 (30) 1"_s});
    } else if (name == u"ChangeWithoutLogLine"_s) {
        const QDir logs(root.filePath(u"run/Logs/Telnormer"_s));
        const QString path = logs.filePath(logs.entryList({u"*.txt"_s}).value(0));
        QByteArray log = fileContents(path);
        const QByteArray line = QString(u"Field "_s + kChosen[1].fields[field] + u": "_s +
                                        record.before[field].toString() + u" -> "_s +
                                        record.after[field].toString() + u"\r\n"_s)
                                    .toUtf8();
        ASSERT_TRUE(log.contains(line));
        log.replace(line, QByteArray());
        QFile rewritten(path);
        ASSERT_TRUE(rewritten.open(QIODevice::WriteOnly | QIODevice::Truncate));
        rewritten.write(log);
    } else {
        FAIL() << "unknown sabotage " << GetParam().name;
    }
    const Verdict verdict = judge(file, pristine);
    EXPECT_TRUE(verdict.violations.join(u'\n').contains(GetParam().expected))
        << verdict.violations.join(u'\n').toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Faults, BatchKillJudge,
    ::testing::Values(Sabotage{"UnconvertedInsideTheBatches", u"but was not converted"_s},
                      Sabotage{"HalfARecord", u"only part of the record was converted"_s},
                      Sabotage{"StrayValue", u"holds \"+49 (30) 1\", neither"_s},
                      Sabotage{"ChangeWithoutLogLine", u"has no change line in the log"_s}),
    [](const ::testing::TestParamInfo<Sabotage>& info) { return std::string(info.param.name); });

} // namespace
