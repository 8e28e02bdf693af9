#pragma once

#include "DbServer.h"
#include "VdbFixture.h"

#include <QString>
#include <QStringList>
#include <QVariantList>

#include <gtest/gtest.h>

#include <string>

// The two backends the tests that speak only through the database interfaces run against.
enum class Backend { Vdb, Pg };

// Databases of one backend for a test: .vdb files in a temporary folder, or fresh databases on
// the test cluster the CTest fixture starts in the socket folder TELNORMER_PG_DIR.
class TestDatabases {
public:
    explicit TestDatabases(Backend backend);

    Backend backend() const { return backend_; }
    // Creates a database named after name from schema; returns its path or URI (no password).
    QString create(const QString& name, const DatabaseSchema& schema);
    // A new empty server database; returns its URI (no password).
    QString createBare(const QString& name);
    void insert(const QString& location, const QString& table, const QStringList& fields,
                const QList<QVariantList>& rows);
    qint64 mark(const QString& location, const QString& table, const QStringList& ids, bool on);
    // Opens through the server as user ADMIN / "admin" unless told otherwise.
    DatabasePtr open(const QString& location, const QString& user = QStringLiteral("ADMIN"),
                     const QString& password = QStringLiteral("admin"), qint32 flags = 0,
                     int waitMs = 5000);

    // The test cluster's socket folder; fails the test when the fixture did not start it.
    static QString clusterFolder();
    // A URI of the test cluster's database as its superuser (password in the URI).
    static QString superuserUri(const QString& database);
    // Runs one SQL statement on the test cluster as superuser.
    static void superuserExec(const QString& database, const QString& sql);

private:
    Backend backend_;
    VdbFixture files_;
};

std::string backendName(const testing::TestParamInfo<Backend>& info);
