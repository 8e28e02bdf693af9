#include "StringConversions.h"
#include "TestProcess.h"
#include "VdbFixture.h"
#include "VdbServer.h"
#include "VdbTestSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

class VdbLoginTest : public ::testing::Test {
protected:
    void SetUp() override {
        DatabaseSchema schema = schemaOf({tableOf(u"Kunden"_s, {u"Name"_s})}, u"Firma"_s);
        schema.users << UserSchema{u"Müller"_s, u"geheim"_s, false, false}
                     << UserSchema{u"dbadmin"_s, u"x"_s, true, false}
                     << UserSchema{u"useradmin"_s, u"y"_s, false, true};
        file = fx.create(u"Firm.vdb"_s, schema);
    }

    DatabasePtr open(const QString& path) {
        return server.OpenDatabase(path, u"ADMIN"_s, u"admin"_s, 0);
    }

    QString put(const QString& name, const QByteArray& bytes) {
        writeFile(fx.path(name), bytes);
        return fx.path(name);
    }

    VdbFixture fx;
    QString file;
    VdbServer server{200};
};

TEST_F(VdbLoginTest, OpensAndReportsStoredUserName) {
    const DatabasePtr db = server.OpenDatabase(file, u"admin"_s, u"admin"_s, 0x30010);
    EXPECT_EQ(db->Logon()->CurrentUser()->Name(), u"ADMIN"_s);
    EXPECT_EQ(db->Name(), u"Firma"_s);
    EXPECT_EQ(db->FileName(), QFileInfo(file).absoluteFilePath());
    // Case-insensitive beyond ASCII.
    const auto user =
        server.OpenDatabase(file, u"MÜLLER"_s, u"geheim"_s, 0)->Logon()->CurrentUser();
    EXPECT_EQ(user->Name(), u"Müller"_s);
}

TEST_F(VdbLoginTest, EachLoginFailureHasItsCode) {
    // clang-format off
    struct Case { const char* what; QString user; QString password; qint32 flags; quint32 code; };
    const Case cases[] = {
        {"unknown user", u"Nobody"_s, u"admin"_s, 0, VdbCode::UnknownUser},
        {"empty user", u""_s, u""_s, 0, VdbCode::UnknownUser},
        {"wrong password", u"ADMIN"_s, u"Admin"_s, 0, VdbCode::WrongPassword},
        {"empty password", u"ADMIN"_s, u""_s, 0, VdbCode::WrongPassword},
        {"no database right", u"Müller"_s, u"geheim"_s, 0x10010, VdbCode::NoDatabaseAdminRight},
        {"no user right", u"Müller"_s, u"geheim"_s, 0x20000, VdbCode::NoUserAdminRight},
        {"database admin asks users", u"dbadmin"_s, u"x"_s, 0x30010, VdbCode::NoUserAdminRight},
        {"user admin asks database", u"useradmin"_s, u"y"_s, 0x30010, VdbCode::NoDatabaseAdminRight},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        expectServerError([&] { server.OpenDatabase(file, c.user, c.password, c.flags); }, c.code);
    }
    EXPECT_NO_THROW(server.OpenDatabase(file, u"dbadmin"_s, u"x"_s, 0x10010));
    EXPECT_NO_THROW(server.OpenDatabase(file, u"useradmin"_s, u"y"_s, 0x20000));
}

TEST_F(VdbLoginTest, FilesThatAreNoDatabaseAreRefused) {
    const QByteArray good = readFile(file);
    QDir().mkpath(fx.path(u"folder.vdb"_s));
    execRaw(fx.path(u"foreign.vdb"_s), u"CREATE TABLE t(x); INSERT INTO t VALUES (1)"_s);
    ASSERT_TRUE(QFile::link(fx.path(u"loop.vdb"_s), fx.path(u"loop.vdb"_s)));
    // Root writes a read-only file anyway unless it is immutable.
    const QString readOnly = put(u"readonly.vdb"_s, good);
    QFile::setPermissions(readOnly, QFile::ReadOwner);
    const bool immutable =
        ::geteuid() == 0 && QProcess::execute(u"chattr"_s, {u"+i"_s, readOnly}) == 0;
    const auto mutableAgain = qScopeGuard([&] {
        if (immutable)
            QProcess::execute(u"chattr"_s, {u"-i"_s, readOnly});
    });
    ASSERT_FALSE(QFile(readOnly).open(QIODevice::ReadWrite));
    QByteArray newer = good;
    newer[63] = 9; // user_version
    QByteArray noCatalogue = readFile(fx.path(u"foreign.vdb"_s));
    noCatalogue.replace(68, 4, good.mid(68, 4)); // the application id
    // clang-format off
    const std::pair<QString, quint32> cases[] = {
        {fx.path(u"missing.vdb"_s), VdbCode::NoSuchFile},
        {fx.path(u"folder.vdb"_s), VdbCode::NotReadable},
        {put(u"empty.vdb"_s, {}), VdbCode::NotADatabase},
        {put(u"garbage.vdb"_s, QByteArray(5000, 'x')), VdbCode::NotADatabase},
        {put(u"header.vdb"_s, good.left(100)), VdbCode::NotADatabase},
        {put(u"truncated.vdb"_s, good.left(good.size() / 2)), VdbCode::NotADatabase},
        {fx.path(u"foreign.vdb"_s), VdbCode::NotADatabase},
        {put(u"nocat.vdb"_s, noCatalogue), VdbCode::NotADatabase}, // the right id, no catalogue
        {put(u"newer.vdb"_s, newer), VdbCode::NewerVersion},
        {readOnly, VdbCode::NotReadable},
        {fx.path(u"loop.vdb"_s), VdbCode::NotReadable},
    };
    // clang-format on
    for (const auto& [path, code] : cases) {
        const QString description = expectServerError([&] { open(path); }, code);
        EXPECT_TRUE(description.contains(path)) << description.toStdString();
        EXPECT_FALSE(QFile::exists(path + u"-wal"_s));
    }
}

// What another program planted in a file never runs: the file is refused at open, naming it.
TEST_F(VdbLoginTest, PlantedObjectsAndFalseEntriesAreRefused) {
    // clang-format off
    struct Case { const char* what; const char* sql; quint32 code; QString named; };
    const Case cases[] = {
        {"trigger", "CREATE TRIGGER x AFTER UPDATE ON Kunden BEGIN DELETE FROM vdb_users; END", VdbCode::ForeignSchemaObject, u"trigger \"x\""_s},
        {"view", "CREATE VIEW v AS SELECT 1", VdbCode::ForeignSchemaObject, u"view \"v\""_s},
        {"view named like a product table", "DROP TABLE Kunden; CREATE VIEW Kunden AS SELECT 1 AS vdb_rid, 'x' AS Name; CREATE TRIGGER t INSTEAD OF UPDATE ON Kunden BEGIN DELETE FROM vdb_users; END", VdbCode::ForeignSchemaObject, u"view \"Kunden\""_s},
        {"virtual table", "CREATE VIRTUAL TABLE vt USING fts5(x)", VdbCode::ForeignSchemaObject, u"virtual table \"vt\""_s},
        {"unknown index", "CREATE INDEX evil ON Kunden(Name)", VdbCode::ForeignSchemaObject, u"index \"evil\""_s},
        {"field without column", "INSERT INTO vdb_fields VALUES (1, 1, 'Telefax', 'text', '')", VdbCode::NotADatabase, u"no column for the field \"Telefax\""_s},
        {"column of another type", "UPDATE vdb_fields SET type = 'integer' WHERE name = 'Name'", VdbCode::NotADatabase, u"stores the field \"Name\" as TEXT"_s},
        {"column the catalogue does not list", "ALTER TABLE Kunden ADD COLUMN Evil TEXT", VdbCode::NotADatabase, u"column \"Evil\""_s},
        {"row id not the key", "DROP TABLE Kunden; CREATE TABLE Kunden (vdb_rid INTEGER, Name TEXT PRIMARY KEY)", VdbCode::ForeignSchemaObject, u"index \"sqlite_autoindex_Kunden_1\""_s},
        {"row id without key", "DROP TABLE Kunden; CREATE TABLE Kunden (vdb_rid INTEGER, Name TEXT)", VdbCode::NotADatabase, u"no row-id column"_s},
        {"no row id", "DROP TABLE Kunden; CREATE TABLE Kunden (Name TEXT)", VdbCode::NotADatabase, u"no row-id column"_s},
        {"row id in a key of two", "DROP TABLE Kunden; CREATE TABLE Kunden (vdb_rid INTEGER, Name TEXT, PRIMARY KEY (vdb_rid, Name)) WITHOUT ROWID", VdbCode::NotADatabase, u"no row-id column"_s},
        {"table without row ids", "DROP TABLE Kunden; CREATE TABLE Kunden (vdb_rid INTEGER PRIMARY KEY, Name TEXT) WITHOUT ROWID", VdbCode::NotADatabase, u"no row-id column"_s},
        {"text field in an INTEGER column", "ALTER TABLE Kunden ADD COLUMN Tel INTEGER; INSERT INTO vdb_fields VALUES (1, 1, 'Tel', 'text', '')", VdbCode::NotADatabase, u"stores the field \"Tel\" as INTEGER, not as TEXT"_s},
        {"text field in a NUMERIC column", "DROP TABLE Kunden; CREATE TABLE Kunden (vdb_rid INTEGER PRIMARY KEY, Name NUMERIC)", VdbCode::NotADatabase, u"stores the field \"Name\" as NUMERIC"_s},
        {"generated column under a field's name", "ALTER TABLE Kunden ADD COLUMN Tel TEXT AS (Name); INSERT INTO vdb_fields VALUES (1, 1, 'Tel', 'text', '')", VdbCode::NotADatabase, u"computed or hidden column \"Tel\""_s},
        {"stored generated column", "DROP TABLE Kunden; CREATE TABLE Kunden (vdb_rid INTEGER PRIMARY KEY, Name TEXT AS ('x') STORED)", VdbCode::NotADatabase, u"computed or hidden column \"Name\""_s},
        {"absurd hash passes", "UPDATE vdb_users SET hash = '$argon2id$v=19$m=65536,t=4294967295,p=1$c2FsdHNhbHRzYWx0$aGFzaGhhc2hoYXNoaGFzaA'", VdbCode::NotADatabase, u"ADMIN\" is damaged"_s},
        {"absurd hash memory", "UPDATE vdb_users SET hash = '$argon2id$v=19$m=4294967295,t=2,p=1$c2FsdHNhbHRzYWx0$aGFzaGhhc2hoYXNoaGFzaA'", VdbCode::NotADatabase, u"ADMIN\" is damaged"_s},
        {"overlong hash", "UPDATE vdb_users SET hash = '$argon2id$v=19$m=65536,t=2,p=1$' || printf('%0200d', 0)", VdbCode::WrongPassword, u"ADMIN\" is wrong"_s},
    };
    // clang-format on
    const QByteArray good = readFile(file);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QString path = put(QString::fromLatin1(c.what) + u".vdb"_s, good);
        execRaw(path, QString::fromLatin1(c.sql));
        const QString description = expectServerError([&] { open(path); }, c.code);
        EXPECT_TRUE(description.contains(c.named)) << description.toStdString();
    }
}

TEST_F(VdbLoginTest, LockedDatabaseFailsAfterTheBusyTimeout) {
    auto holder = std::make_unique<SqliteConnection>();
    ASSERT_EQ(holder->open(file, SQLITE_OPEN_READWRITE), SQLITE_OK);
    // The exclusive lock is only taken at the first write.
    holder->exec(
        u"PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE; UPDATE vdb_info SET value = value"_s);
    const QString why = expectServerError([&] { open(file); }, VdbCode::Locked);
    EXPECT_TRUE(why.startsWith(u"Another program holds the database"_s)) << why.toStdString();
    holder.reset();
    EXPECT_NO_THROW(open(file));
}

} // namespace
