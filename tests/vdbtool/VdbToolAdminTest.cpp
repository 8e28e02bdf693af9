#include "DbServer.h"
#include "ErrorOf.h"
#include "StringConversions.h"
#include "VdbAdmin.h"
#include "VdbErrors.h"
#include "VdbFixture.h"
#include "VdbServer.h"
#include "VdbToolTestSupport.h"

using namespace Qt::StringLiterals;

namespace {

constexpr qint32 kBothAdminFlags =
    OpenFlag::DatabaseAdmin | OpenFlag::UserAdmin | OpenFlag::DatabaseAdminCompanion;

// The server error a login fails with, or 0 when it works.
qint32 loginError(const QString& file, const QString& user, const QString& password,
                  qint32 flags = 0) {
    return errorOf([&] { VdbServer().OpenDatabase(file, user, password, flags); }).number();
}

QString emptyDatabase(VdbFixture& fx) {
    return fx.create(u"db.vdb"_s, schemaOf({tableOf(u"T"_s, {u"A"_s})}));
}

// Where a password comes from is the batch program's test: both read it the same way.
TEST(VdbToolAdmin, UsersAddedWithRightsChangedAndRemoved) {
    const ScopedEnv unset("VDB_PASSWORD", QByteArray());
    VdbFixture fx;
    const QString file = emptyDatabase(fx);
    const ProcessResult added =
        runTool({u"user"_s, u"add"_s, file, u"Max"_s, u"--user-admin"_s}, u"altes Wort\nRest\n"_s);
    EXPECT_TOOL_OK(added);
    EXPECT_EQ(added.out, u"Added the user Max (user admin).\n"_s);
    EXPECT_EQ(loginError(file, u"max"_s, u"altes Wort"_s, OpenFlag::UserAdmin), 0);
    EXPECT_FALSE(readFile(file).contains("altes Wort")); // only its hash is stored
    EXPECT_TRUE(hashPassword(u"x"_s).startsWith(u"$argon2id$v=19$m=65536,t=2,p=1$"_s)); // full cost
    EXPECT_EQ(loginError(file, u"Max"_s, u"altes Wort"_s, kBothAdminFlags),
              serverErrorNumber(VdbCode::NoDatabaseAdminRight));
    EXPECT_TOOL_OK(runTool({u"user"_s, u"passwd"_s, file, u"MAX"_s}, u"neu\n"_s));
    EXPECT_EQ(loginError(file, u"Max"_s, u"altes Wort"_s),
              serverErrorNumber(VdbCode::WrongPassword));
    const ProcessResult rights =
        runTool({u"user"_s, u"rights"_s, file, u"Max"_s, u"--database-admin"_s, u"--user-admin"_s});
    EXPECT_TOOL_OK(rights);
    EXPECT_EQ(rights.out, u"Rights of Max: database admin, user admin.\n"_s);
    EXPECT_EQ(loginError(file, u"Max"_s, u"neu"_s, kBothAdminFlags), 0);
    EXPECT_TOOL_OK(runTool({u"user"_s, u"rights"_s, file, u"Max"_s, u"--database-admin"_s}));
    const ProcessResult removeAdmin = runTool({u"user"_s, u"remove"_s, file, u"admin"_s});
    EXPECT_TOOL_OK(removeAdmin);
    EXPECT_TRUE(removeAdmin.err.contains(u"no user left has the right to administer users"_s))
        << removeAdmin.err.toStdString();
    EXPECT_EQ(loginError(file, u"ADMIN"_s, u"admin"_s), serverErrorNumber(VdbCode::UnknownUser));
    const ProcessResult removeLast = runTool({u"user"_s, u"remove"_s, file, u"Max"_s});
    EXPECT_TOOL_OK(removeLast);
    EXPECT_TRUE(removeLast.err.contains(u"nobody can log in"_s)) << removeLast.err.toStdString();
}

TEST(VdbToolAdmin, RefusedUserCommandsChangeNothing) {
    const ScopedEnv unset("VDB_PASSWORD", QByteArray());
    VdbFixture fx;
    const QString file = emptyDatabase(fx);
    // clang-format off
    struct Case { const char* what; QStringList args; QString input; int status; QString mentions; };
    const QString secret = u"geheim"_s;
    const QString add = u"add"_s;
    const QString passwd = u"passwd"_s;
    const QString never = u"not taken from the command line"_s;
    const Case cases[] = {
        {"password as operand", {u"user"_s, add, file, u"Neu"_s, secret}, {}, 2, never},
        {"password option", {u"user"_s, add, file, u"Neu"_s, u"--password"_s, secret}, {}, 2, never},
        {"password option with =", {u"user"_s, passwd, file, u"ADMIN"_s, u"--password="_s + secret}, {}, 2, never},
        {"short option", {u"user"_s, passwd, file, u"ADMIN"_s, u"-p"_s, secret}, {}, 2, never},
        {"existing user", {u"user"_s, add, file, u"admin"_s}, u"x\n"_s, 1, u"exists already"_s},
        {"unknown user", {u"user"_s, passwd, file, u"Niemand"_s}, u"x\n"_s, 1, u"no user"_s},
        {"unknown user removed", {u"user"_s, u"remove"_s, file, u"Niemand"_s}, {}, 1, u"no user"_s},
        {"unknown action", {u"user"_s, u"delete"_s, file, u"ADMIN"_s}, {}, 2, u"unknown action"_s},
        {"rights take no password file", {u"user"_s, u"rights"_s, file, u"ADMIN"_s, u"--password-file"_s, u"x"_s}, {}, 2, u"unknown option"_s},
        {"bad user name", {u"user"_s, add, file, u"a\tb"_s}, u"x\n"_s, 1, u"control"_s},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const ProcessResult result = runTool(c.args, c.input);
        EXPECT_EQ(result.status, c.status);
        EXPECT_TRUE(result.err.contains(c.mentions)) << result.err.toStdString();
        EXPECT_FALSE(result.err.contains(secret));
    }
    EXPECT_EQ(VdbAdmin(file).users().size(), 1);
    EXPECT_EQ(loginError(file, u"ADMIN"_s, u"admin"_s, kBothAdminFlags), 0);
}

TEST(VdbToolAdmin, Location) {
    VdbFixture fx;
    const QString file = emptyDatabase(fx);
    auto location = [&]() -> QString {
        const DatabasePtr db = VdbFixture::open(file);
        auto* place = dynamic_cast<TelephoneLocation*>(db.get());
        return place->LocationCountry() + u'/' + place->LocationAreaCode();
    };
    EXPECT_EQ(runTool({u"location"_s, file}).out, u"Location: DE, area code 30.\n"_s);
    const ProcessResult set =
        runTool({u"location"_s, file, u"--country"_s, u"at"_s, u"--area-code"_s, u"316"_s});
    EXPECT_TOOL_OK(set);
    EXPECT_EQ(set.out, u"Location set: AT, area code 316.\n"_s);
    EXPECT_EQ(location(), u"AT/316"_s);
    EXPECT_TOOL_OK(runTool({u"location"_s, file, u"--area-code="_s}));
    EXPECT_EQ(location(), u"AT/"_s);
    for (const QStringList& bad :
         {QStringList{u"--country"_s, u"Germany"_s}, QStringList{u"--area-code"_s, u"030"_s}}) {
        const ProcessResult result = runTool(QStringList{u"location"_s, file} + bad);
        EXPECT_EQ(result.status, 1);
        EXPECT_FALSE(result.err.isEmpty());
        EXPECT_EQ(location(), u"AT/"_s);
    }
}

} // namespace
