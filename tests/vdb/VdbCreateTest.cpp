#include "VdbCreate.h"
#include "StringConversions.h"
#include "TestProcess.h"
#include "VdbAdmin.h"
#include "VdbFixture.h"
#include "VdbTestSupport.h"

#include <QDir>

using namespace Qt::StringLiterals;

namespace {

TEST(VdbCreate, InvalidSchemasAreRefusedAndLeaveNoFile) {
    VdbFixture fx;
    // clang-format off
    struct Case { const char* what; std::function<void(DatabaseSchema&)> change; };
    const Case cases[] = {
        {"empty table name", [](DatabaseSchema& s) { s.tables[0].name.clear(); }},
        {"reserved table name", [](DatabaseSchema& s) { s.tables[0].name = u"VDB_tables"_s; }},
        {"sqlite table name", [](DatabaseSchema& s) { s.tables[0].name = u"sqlite_x"_s; }},
        {"tables differing in ASCII case", [](DatabaseSchema& s) { s.tables << tableOf(u"kunden"_s, {u"A"_s}); }},
        {"fields differing in ASCII case", [](DatabaseSchema& s) { s.tables[0].fields << textField(u"NAME"_s); }},
        {"reserved field name", [](DatabaseSchema& s) { s.tables[0].fields << textField(u"vdb_rid"_s); }},
        {"control character", [](DatabaseSchema& s) { s.tables[0].fields << textField(u"a\tb"_s); }},
        {"index on unknown field", [](DatabaseSchema& s) { s.tables[0].indexes << IndexSchema{u"I"_s, {u"Nope"_s}}; }},
        {"index without fields", [](DatabaseSchema& s) { s.tables[0].indexes << IndexSchema{u"I"_s, {}}; }},
        {"index use of unknown index", [](DatabaseSchema& s) { s.tables[0].indexUses << u"I"_s; }},
        {"same user twice", [](DatabaseSchema& s) { s.users << UserSchema{u"admin"_s, {}, false, false}; }},
        {"bad country", [](DatabaseSchema& s) { s.country = u"Germany"_s; }},
        {"area code with trunk prefix", [](DatabaseSchema& s) { s.areaCode = u"030"_s; }},
        {"bad condition", [](DatabaseSchema& s) { s.tables[0].fields[0].condition = u"length("_s; }},
        {"condition closing the table to run a second statement", [](DatabaseSchema& s) { s.tables[0].fields[0].condition = u"\"Name\" IS NOT NULL OR 1)); DROP TABLE vdb_properties; --"_s; }},
        {"condition naming an unknown field", [](DatabaseSchema& s) { s.tables[0].fields[0].condition = u"length(\"Nmae\") < 30"_s; }},
        {"condition ending the CHECK to add a column", [](DatabaseSchema& s) { s.tables[0].fields[0].condition = u"length(\"Name\") <= 20), \"Evil\" TEXT DEFAULT (1"_s; }},
        {"condition hiding a bracket in a comment", [](DatabaseSchema& s) { s.tables[0].fields[0].condition = u"1 /* ) */"_s; }},
        {"condition smuggling a statement", [](DatabaseSchema& s) { s.tables[0].fields[0].condition = u"1); DROP TABLE vdb_users; --"_s; }},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DatabaseSchema schema = schemaOf({tableOf(u"Kunden"_s, {u"Name"_s})});
        c.change(schema);
        EXPECT_THROW(fx.create(u"bad.vdb"_s, schema), ErrorRecord);
    }
    EXPECT_EQ(QDir(fx.folder()).entryList(QDir::Files | QDir::Hidden).size(), 0);
}

TEST(VdbCreate, RefusesToOverwrite) {
    VdbFixture fx;
    writeFile(fx.path(u"x.vdb"_s), "precious");
    expectServerError([&] { fx.create(u"x.vdb"_s, schemaOf({})); }, VdbCode::AlreadyExists);
    EXPECT_EQ(readFile(fx.path(u"x.vdb"_s)), QByteArray("precious"));
}

TEST(VdbCreate, AwkwardNamesWorkEverywhere) {
    VdbFixture fx;
    const QString table = u"Kunden \"Alt\"; DROP"_s;
    const QStringList fields{u"select"_s, u"Tel. privat"_s, u"Straße"_s,
                             u"a\"b"_s,   u"rowid"_s,       u"ID"_s};
    TableSchema schema = tableOf(table, fields, u"Ä Caption"_s);
    schema.indexes << IndexSchema{u"by \"quote\""_s, {u"a\"b"_s, u"select"_s}};
    const QString file = fx.create(u"awkward names.vdb"_s, schemaOf({schema}));
    VdbFixture::insert(file, table, fields,
                       {{u"s2"_s, u"t"_s, u"ß"_s, u"q2"_s, u"r"_s, u"1"_s},
                        {u"s1"_s, u"t"_s, u"ß"_s, u"q1"_s, u"r"_s, u"2"_s}});
    EXPECT_EQ(VdbAdmin(file).mark(table, {u"2"_s}, true), 1);
    const DatabasePtr db = VdbFixture::open(file);
    const TablePtr t = db->Tables()->Item(table);
    t->Indexes()->Activate(u"by \"quote\""_s, 0);
    t->MoveFirst(0);
    EXPECT_EQ(t->Fields()->Item(u"select"_s)->Value(), QVariant(u"s1"_s));
    t->Fields()->Item(u"Tel. privat"_s)->SetValue(u"neu'; --"_s);
    t->Update(0);
    EXPECT_EQ(t->Fields()->Item(u"Tel. privat"_s)->Value(), QVariant(u"neu'; --"_s));
    EXPECT_EQ(t->Fields()->Item(u"rowid"_s)->Value(), QVariant(u"r"_s));
    EXPECT_EQ(t->MarkedCount(), 1);
    EXPECT_EQ(db->Evaluator()->Compile(table + u"->Straße"_s, 0)->Evaluate(0), QVariant(u"ß"_s));
}

TEST(VdbCreate, InsertFailureNamesTheRowAndKeepsNothing) {
    VdbFixture fx;
    TableSchema schema = tableOf(u"T"_s, {});
    schema.fields << FieldSchema{u"Tel"_s, FieldType::Text, u"length(Tel) < 5"_s}
                  << FieldSchema{u"N"_s, FieldType::Integer, {}};
    const QString file = fx.create(u"t.vdb"_s, schemaOf({schema}));
    const QString condition = expectServerError(
        [&] {
            VdbFixture::insert(file, u"T"_s, {u"Tel"_s}, {{u"1"_s}, {u"2"_s}, {u"123456"_s}});
        },
        VdbCode::ConditionViolated);
    EXPECT_TRUE(condition.startsWith(u"row 3: "_s) && condition.contains(u"\"Tel\""_s))
        << condition.toStdString();
    const QString type = expectServerError(
        [&] {
            VdbFixture::insert(file, u"T"_s, {u"N"_s}, {{1}, {u"zwei"_s}});
        },
        VdbCode::TypeMismatch);
    EXPECT_TRUE(type.startsWith(u"row 2: "_s)) << type.toStdString();
    expectServerError([&] { VdbFixture::insert(file, u"T"_s, {u"Nope"_s}, {{1}}); },
                      VdbCode::NoSuchItem);
    EXPECT_EQ(VdbAdmin(file).recordCount(u"T"_s), 0);
}
} // namespace
