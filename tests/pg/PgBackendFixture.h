#pragma once

#include "../vdb/VdbTestSupport.h"
#include "DatabaseUri.h"
#include "PgAdmin.h"
#include "TestDatabases.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

// A server database with one table T (Wert; Tel with a condition), one record, and three roles
// of the server that are not its users until a test makes them so.
class PgBackendTest : public ::testing::Test {
protected:
    void SetUp() override {
        TableSchema t = tableOf(u"T"_s, {u"Wert"_s});
        t.fields << textField(u"Tel"_s, u"length(\"Tel\") <= 5"_s);
        uri = fx.create(u"backend"_s, schemaOf({t}));
        fx.insert(uri, u"T"_s, {u"Wert"_s}, {{u"alt"_s}});
        role = u"plain_%1"_s.arg(QCoreApplication::applicationPid());
        stranger = u"stranger_%1"_s.arg(QCoreApplication::applicationPid());
        for (const QString& name : {role, stranger, twin()}) {
            TestDatabases::superuserExec(u"postgres"_s, u"DROP ROLE IF EXISTS \"%1\""_s.arg(name));
            TestDatabases::superuserExec(u"postgres"_s,
                                         u"CREATE ROLE \"%1\" LOGIN PASSWORD 'plain'"_s.arg(name));
        }
        PgAdmin(TestDatabases::superuserUri(uriDatabaseName(uri))).setRights(role, false, false);
    }

    QString twin() const { return u'P' + role.mid(1); }

    TestDatabases fx{Backend::Pg};
    QString uri;
    QString role;
    QString stranger;
};
