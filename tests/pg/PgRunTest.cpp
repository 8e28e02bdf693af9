// The run on a server database from outside, as people meet it: two telnormer-batch processes on
// the same table at once, and a server that goes away in the middle of a run.
#include "DatabaseAdmin.h"
#include "DatabaseUri.h"
#include "DemoGenerator.h"
#include "PgAdmin.h"
#include "PgConnection.h"
#include "RunJournal.h"
#include "StringConversions.h"
#include "TestDatabases.h"
#include "TestProcess.h"
#include "VdbFixture.h"
#include "VdbTool.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QHash>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

const QStringList kFields{u"Telefon"_s, u"Telefax"_s, u"Mobil"_s};

// The telephone values of the suppliers by ID, in the order of kFields.
QHash<QString, QStringList> suppliers(const QString& location) {
    QHash<QString, QStringList> values;
    const TablePtr table = openDatabaseForTools(location)->Tables()->Item(DemoTable::Suppliers);
    for (table->MoveFirst(0); !table->Eof(); table->Skip(1, 0)) {
        QStringList row;
        for (const QString& field : kFields) {
            const QVariant value = table->Fields()->Item(field)->Value();
            row << (value.isNull() ? u"<null>"_s : value.toString());
        }
        values.insert(table->Fields()->Item(u"ID"_s)->Value().toString(), row);
    }
    return values;
}

QProcess* startBatch(const QString& uri, const QString& dataHome, QObject* parent,
                     const QString& onError = u"continue"_s) {
    auto* process = new QProcess(parent);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"VDB_PASSWORD"_s, u"admin"_s);
    environment.insert(u"XDG_DATA_HOME"_s, dataHome);
    environment.insert(u"XDG_CONFIG_HOME"_s, dataHome);
    process->setProcessEnvironment(environment);
    QStringList args{uri, u"--user"_s, u"ADMIN"_s, u"--on-error"_s, onError};
    for (const QString& field : kFields)
        args << u"--field"_s << DemoTable::Suppliers << field;
    process->start(QStringLiteral(TELNORMER_BATCH_PATH), args);
    return process;
}

// Change lines of all logs below folder, in the order written (file names sort by time): ID, field,
// old and new value.
struct LogChange {
    QString id, field, before, after;
};
QList<LogChange> logChanges(const QString& folder) {
    QList<LogChange> changes;
    QStringList files;
    QDirIterator it(folder, {u"*.txt"_s}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next();
    files.sort();
    for (const QString& path : files) {
        static const QRegularExpression change(u"^Field (.*?): (.*?) -> (.*)$"_s);
        QString id;
        for (const QString& line : QString::fromUtf8(readFile(path)).split(u"\r\n"_s)) {
            if (line.startsWith(u"ID: "_s))
                id = line.mid(4);
            if (const QRegularExpressionMatch m = change.match(line); m.hasMatch())
                changes.append({id, m.captured(1), m.captured(2), m.captured(3)});
        }
    }
    return changes;
}

TEST(PgRunTest, TwoRunsOnTheSameTableLoseNoUpdate) {
    TestDatabases fx(Backend::Pg);
    const QString uri = fx.createBare(u"twice"_s);
    const QString admin = TestDatabases::superuserUri(uriDatabaseName(uri));
    createDemoDatabase(admin, DemoOptions{1500, 3});
    const QHash<QString, QStringList> before = suppliers(admin);
    QTemporaryDir home;
    QObject owner;
    QProcess* first = startBatch(uri, home.path(), &owner);
    // Runs starting in the same second would compete for one log file name.
    QThread::msleep(1100);
    QProcess* second = startBatch(uri, home.path(), &owner);
    for (QProcess* run : {first, second}) {
        ASSERT_TRUE(run->waitForFinished(240000));
        EXPECT_EQ(run->exitCode(), 0) << run->readAllStandardError().toStdString();
    }
    // Every stored value that differs from the start is one a run logged as its change of the
    // value it found; a value overwritten from a stale read would have no such line.
    QSet<QString> logged;
    for (const LogChange& c : logChanges(home.path()))
        logged.insert(c.id + u'|' + c.field + u'|' + c.before + u'|' + c.after);
    const QHash<QString, QStringList> after = suppliers(admin);
    int changed = 0;
    for (auto it = after.cbegin(); it != after.cend(); ++it) {
        for (int f = 0; f < kFields.size(); ++f) {
            if (it.value()[f] == before[it.key()][f])
                continue;
            ++changed;
            EXPECT_TRUE(logged.contains(it.key() + u'|' + kFields[f] + u'|' + before[it.key()][f] +
                                        u'|' + it.value()[f]))
                << it.key().toStdString() << " " << kFields[f].toStdString();
        }
    }
    EXPECT_GT(changed, 1000);
    // Nothing is left to convert: neither run's work was undone by the other.
    QThread::msleep(1100);
    QProcess* third = startBatch(uri, home.path(), &owner);
    ASSERT_TRUE(third->waitForFinished(240000));
    EXPECT_TRUE(third->readAllStandardOutput().startsWith("0 record(s) converted."));
}

// Table, field and role names holding a double quote, end to end: created, their rights taken
// away and given back, logged in to by telnormer-batch, previewed, converted, listed. The preview
// counts the value the condition refuses as the run does.
TEST(PgRunTest, NamesWithQuotesConvert) {
    TestDatabases fx(Backend::Pg);
    const QString role = u"Me\"ier_%1"_s.arg(QCoreApplication::applicationPid());
    TableSchema table = tableOf(u"Kun\"den"_s, {});
    table.fields << textField(u"Tel\"efon"_s, u"length(\"Tel\"\"efon\") <= 16"_s);
    DatabaseSchema schema = schemaOf({table});
    schema.country = u"DE"_s;
    schema.areaCode = u"30"_s;
    schema.users << UserSchema{role, u"pw"_s, true, true};
    const QString uri = fx.create(u"quotes"_s, schema);
    const QString admin = TestDatabases::superuserUri(uriDatabaseName(uri));
    fx.insert(uri, table.name, {table.fields[0].name}, {{u"030 1234567"_s}, {u"030 12345678"_s}});
    PgAdmin(admin).setRights(role, false, false);
    PgAdmin(admin).setRights(role, true, true);
    QTemporaryDir home;
    QStringList counts;
    for (const bool dry : {true, false}) {
        QProcess run;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"VDB_PASSWORD"_s, u"pw"_s);
        environment.insert(u"XDG_DATA_HOME"_s, home.path());
        run.setProcessEnvironment(environment);
        QStringList args{uri, u"--user"_s, role, u"--field"_s, table.name, table.fields[0].name};
        run.start(QStringLiteral(TELNORMER_BATCH_PATH), dry ? args << u"--dry-run"_s : args);
        ASSERT_TRUE(run.waitForFinished(60000));
        EXPECT_EQ(run.exitCode(), 0) << run.readAllStandardError().toStdString();
        const QString out = QString::fromUtf8(run.readAllStandardOutput());
        counts << out.section(u' ', 0, 0) + u'/' + out.section(u'\n', 2, 2);
    }
    EXPECT_EQ(counts[0], counts[1]);
    EXPECT_TRUE(counts[1].startsWith(u"1/1 value(s) could not be stored"_s))
        << counts[1].toStdString();
    const TablePtr stored = openDatabaseForTools(admin)->Tables()->Item(table.name);
    stored->MoveFirst(0);
    EXPECT_EQ(stored->Fields()->Item(0)->Value(), QVariant(u"+49 (30) 1234567"_s));
    const QList<PgAdmin::UserInfo> users = PgAdmin(admin).users();
    ASSERT_EQ(users.size(), 2);
    EXPECT_EQ(users[1].name, role);
    EXPECT_TRUE(users[1].databaseAdmin && users[1].userAdmin);
}

// A cluster of the test's own, for it stops the server in the middle of a run.
class OwnCluster {
public:
    OwnCluster()
        : folder_(u"/tmp/telnormer-pgstop-%1"_s.arg(QCoreApplication::applicationPid())) {
        EXPECT_EQ(script(u"start"_s), 0);
    }
    ~OwnCluster() { script(u"stop"_s); }
    int script(const QString& action) const {
        return QProcess::execute(QStringLiteral(TELNORMER_PG_SCRIPT), {action, folder_});
    }
    QString uri(const QString& database, const QString& login = {}) const {
        return u"postgresql://"_s + login + u"/"_s + database + u"?host="_s + folder_;
    }

private:
    QString folder_;
};

TEST(PgRunTest, ServerStoppedMidRunLeavesWholeBatchesEachLogged) {
    const OwnCluster cluster;
    const QString superuser = u"postgres:postgres@"_s;
    PgConnection(cluster.uri(u"postgres"_s, superuser), {}, {}).exec(u"CREATE DATABASE halt"_s);
    createDemoDatabase(cluster.uri(u"halt"_s, superuser), DemoOptions{3000, 5});
    const QString uri = cluster.uri(u"halt"_s);
    const QHash<QString, QStringList> before = suppliers(cluster.uri(u"halt"_s, superuser));
    QTemporaryDir home;
    QObject owner;
    // Even told to go on after errors, the run ends at the lost connection.
    QProcess* run = startBatch(uri, home.path(), &owner, u"continue"_s);
    // Stopped once the run has logged some changes, long before it is through.
    for (int i = 0; i < 600 && logChanges(home.path()).size() < 40; ++i)
        QThread::msleep(50);
    ASSERT_EQ(cluster.script(u"kill"_s), 0);
    ASSERT_TRUE(run->waitForFinished(60000));
    const QString err = QString::fromUtf8(run->readAllStandardError());
    EXPECT_EQ(run->exitCode(), 1) << err.toStdString();
    EXPECT_TRUE(err.contains(u"connection to the database server was lost"_s) &&
                (err.contains(u"value(s) of the open batch were not stored"_s) ||
                 err.contains(u"may or may not have stored"_s)) &&
                !err.contains(u"Do you want to cancel"_s))
        << err.toStdString();
    ASSERT_EQ(cluster.script(u"restart"_s), 0);

    // The logged changes in log order; the stored ones come first and end at a batch's end,
    // every later one is absent. Each stored change has its line.
    const QList<LogChange> changes = logChanges(home.path());
    const QHash<QString, QStringList> after = suppliers(cluster.uri(u"halt"_s, superuser));
    QSet<QString> loggedRecords;
    QSet<QString> storedRecords;
    bool absentSeen = false;
    for (const LogChange& change : changes) {
        const int f = static_cast<int>(kFields.indexOf(change.field));
        ASSERT_GE(f, 0);
        EXPECT_EQ(change.before, before[change.id][f]);
        const bool stored = after[change.id][f] == change.after;
        if (stored) {
            EXPECT_FALSE(absentSeen)
                << "stored after an absent change: " << change.id.toStdString();
            storedRecords.insert(change.id);
        } else {
            EXPECT_EQ(after[change.id][f], before[change.id][f]) << change.id.toStdString();
            absentSeen = true;
        }
        loggedRecords.insert(change.id);
    }
    EXPECT_LE(loggedRecords.size() - storedRecords.size(), 10);
    EXPECT_LT(storedRecords.size(), 3000);
    for (auto it = after.cbegin(); it != after.cend(); ++it) {
        if (it.value() != before[it.key()]) {
            EXPECT_TRUE(storedRecords.contains(it.key())) << "unlogged: " << it.key().toStdString();
        }
    }
}

// The server holds a commit's answer back (waiting for a standby that never comes) after it
// stored the batch; then the session is ended, or the server dies. A new connection finds the
// batch stored; with the server gone the run cannot know, and its journal keeps the lines.
TEST(PgRunTest, ACommitWhoseAnswerIsLostIsToldAsFarAsKnown) {
    const OwnCluster cluster;
    const QString superuser = u"postgres:postgres@"_s;
    PgConnection admin(cluster.uri(u"postgres"_s, superuser), {}, {});
    // A database each: a batch that only read (and locked) waits for the standby too.
    for (const QString& name : {u"held0"_s, u"held1"_s}) {
        admin.exec(u"CREATE DATABASE "_s + name);
        createDemoDatabase(cluster.uri(name, superuser), DemoOptions{300, 2});
    }
    admin.exec(u"ALTER SYSTEM SET synchronous_standby_names = 'nobody'"_s);
    admin.exec(u"SELECT pg_reload_conf()"_s);
    for (const bool dies : {false, true}) {
        QTemporaryDir home;
        QObject owner;
        const QString database = dies ? u"held1"_s : u"held0"_s;
        QProcess* run = startBatch(cluster.uri(database), home.path(), &owner);
        QString held;
        for (int i = 0; i < 1200 && held.isEmpty(); ++i, QThread::msleep(50))
            held = admin
                       .exec(u"SELECT coalesce(max(pid)::text, '') FROM pg_stat_activity WHERE "
                             "wait_event = 'SyncRep'"_s)
                       .text(0, 0);
        ASSERT_FALSE(held.isEmpty());
        if (dies)
            ASSERT_EQ(cluster.script(u"kill"_s), 0);
        else
            admin.exec(u"SELECT pg_terminate_backend("_s + held + u')');
        ASSERT_TRUE(run->waitForFinished(60000));
        const QString err = QString::fromUtf8(run->readAllStandardError());
        EXPECT_EQ(run->exitCode(), 1);
        const QList<LogChange> changes = logChanges(home.path());
        const QString told = dies ? u"may or may not have stored the %1 value(s)"_s
                                  : u"The %1 value(s) of the open batch were stored"_s;
        EXPECT_TRUE(err.contains(told.arg(changes.size()))) << err.toStdString();
        ASSERT_TRUE(!dies || cluster.script(u"restart"_s) == 0);
        // Stored, as the server said: after the kill too.
        const QHash<QString, QStringList> after = suppliers(cluster.uri(database, superuser));
        for (const LogChange& c : changes)
            EXPECT_EQ(after[c.id][static_cast<int>(kFields.indexOf(c.field))], c.after);
        const QString log = QString::fromUtf8(run->readAllStandardOutput()).trimmed();
        EXPECT_FALSE(readFile(RunJournal::pathFor(log)).contains("undone"));
    }
}

} // namespace
