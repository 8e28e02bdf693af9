#include "TestDatabases.h"

#include "DatabaseServer.h"
#include "DatabaseUri.h"
#include "PgAdmin.h"
#include "PgConnection.h"
#include "VdbAdmin.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <atomic>

using namespace Qt::StringLiterals;

TestDatabases::TestDatabases(Backend backend)
    : backend_(backend) {}

QString TestDatabases::clusterFolder() {
    const QString folder =
        qEnvironmentVariable("TELNORMER_PG_DIR", QStringLiteral(TELNORMER_PG_DIR));
    if (!QFileInfo::exists(folder + u"/.s.PGSQL.5432"_s))
        ADD_FAILURE() << "no test cluster in " << folder.toStdString()
                      << ": run the tests through ctest, whose fixture starts it";
    return folder;
}

QString TestDatabases::superuserUri(const QString& database) {
    return u"postgresql://postgres:postgres@/"_s + database + u"?host="_s + clusterFolder();
}

void TestDatabases::superuserExec(const QString& database, const QString& sql) {
    PgConnection(superuserUri(database), {}, {}).exec(sql);
}

QString TestDatabases::create(const QString& name, const DatabaseSchema& schema) {
    if (backend_ == Backend::Vdb)
        return files_.create(name + u".vdb"_s, schema);
    const QString uri = createBare(name);
    createPgDatabase(superuserUri(uriDatabaseName(uri)), schema);
    return uri;
}

QString TestDatabases::createBare(const QString& name) {
    static std::atomic<int> counter{0};
    QString base = name.toLower();
    base.replace(QRegularExpression(u"[^a-z0-9]"_s), u"_"_s);
    const QString prefix = u"t%1_%2_"_s.arg(QCoreApplication::applicationPid()).arg(++counter);
    const QString database = QString(prefix + base).left(60);
    superuserExec(u"postgres"_s, u"CREATE DATABASE "_s + pgQuote(database));
    return u"postgresql:///"_s + database + u"?host="_s + clusterFolder();
}

void TestDatabases::insert(const QString& location, const QString& table, const QStringList& fields,
                           const QList<QVariantList>& rows) {
    if (isServerUri(location))
        PgAdmin(superuserUri(uriDatabaseName(location))).insertRows(table, fields, rows);
    else
        VdbAdmin(location).insertRows(table, fields, rows);
}

qint64 TestDatabases::mark(const QString& location, const QString& table, const QStringList& ids,
                           bool on) {
    if (isServerUri(location))
        return PgAdmin(superuserUri(uriDatabaseName(location))).mark(table, ids, on);
    return VdbAdmin(location).mark(table, ids, on);
}

DatabasePtr TestDatabases::open(const QString& location, const QString& user,
                                const QString& password, qint32 flags, int waitMs) {
    return DatabaseServer(waitMs).OpenDatabase(location, user, password, flags);
}

std::string backendName(const testing::TestParamInfo<Backend>& info) {
    return info.param == Backend::Vdb ? "Vdb" : "Pg";
}
