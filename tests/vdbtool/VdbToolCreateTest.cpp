#include "StringConversions.h"
#include "VdbAdmin.h"
#include "VdbFixture.h"
#include "VdbToolTestSupport.h"

#include <QDir>

using namespace Qt::StringLiterals;

namespace {

const char kSchema[] = R"({
  "name": "Firma Müller",
  "location": {"country": "DE", "areaCode": "89"},
  "users": [
    {"name": "ADMIN", "password": "admin", "databaseAdmin": true, "userAdmin": true},
    {"name": "Leser", "password": "lesen"}
  ],
  "tables": [
    {
      "name": "Kunden",
      "caption": "Unsere Kunden",
      "fields": [
        {"name": "ID", "type": "integer"},
        {"name": "Telefax", "type": "text", "condition": "length(\"Telefax\") <= 20"},
        {"name": "Seit", "type": "date"}
      ],
      "indexes": [{"name": "ID", "fields": ["ID"]}, {"name": "FaxID", "fields": ["Telefax", "ID"]}],
      "indexUses": ["FaxID"],
      "properties": {"ItemExpression": "Kunden->ID", "Notiz": "zweite"}
    },
    {"name": "Leer", "caption": "", "fields": [{"name": "X", "type": "real"}]}
  ]
})";

TEST(VdbToolCreate, InfoShowsEverythingTheSchemaGave) {
    VdbFixture fx;
    const QString schema = fx.path(u"schema.json"_s);
    writeFile(schema, kSchema);
    const QString file = fx.path(u"neu.vdb"_s);
    const ToolResult created = runTool({u"create"_s, file, u"--schema"_s, schema});
    EXPECT_TOOL_OK(created);
    EXPECT_TRUE(created.out.contains(u"2 tables, 2 users"_s)) << created.out.toStdString();

    VdbFixture::insert(file, u"Kunden"_s, {u"ID"_s}, {{1}, {2}});
    const ToolResult info = runTool({u"info"_s, file});
    EXPECT_TOOL_OK(info);
    const QString expected[] = {
        u"Name:     \"Firma Müller\""_s,
        u"Location: DE, area code 89"_s,
        u"Table Kunden\n  Caption:  \"Unsere Kunden\"\n  Records:  2, marked 0"_s,
        u"    ID  integer\n    Telefax  text  condition: length(\"Telefax\") <= 20\n"
        "    Seit  date\n"_s,
        u"    ID (ID)\n    FaxID (Telefax, ID)\n"_s,
        u"  Index uses: FaxID\n"_s,
        u"    ItemExpression = Kunden->ID\n    Notiz = zweite\n"_s,
        u"Table Leer\n  Caption:  \"\"\n  Records:  0, marked 0\n  Fields:\n    X  real\n"
        "  Indexes: none\n  Index uses: none\n  Properties: none\n"_s,
        u"Users:\n  ADMIN  database admin, user admin\n  Leser  no admin rights\n"_s,
    };
    for (const QString& part : expected)
        EXPECT_TRUE(info.out.contains(part)) << "missing: " << part.toStdString() << "\nin:\n"
                                             << info.out.toStdString();
    EXPECT_FALSE(info.out.contains(u"argon"_s, Qt::CaseInsensitive));
    EXPECT_NO_THROW(VdbFixture::open(file, u"Leser"_s, u"lesen"_s));
}

TEST(VdbToolCreate, BadSchemasLeaveNoFile) {
    struct Case {
        const char* what;
        QByteArray json;
        QString mentions;
    };
    const QByteArray table = R"({"name": "x", "users": [], "tables": [{"name": "K", "fields": [)";
    const Case cases[] = {
        {"unknown type", table + R"({"name": "T", "type": "varchar"}]}]})", u"varchar"_s},
        {"missing name", table + R"({"type": "text"}]}]})", u"\"name\" is missing"_s},
        {"wrong JSON type", table + R"({"name": "T", "type": 3}]}]})", u"field \"T\""_s},
        {"bad condition",
         table + R"({"name": "T", "type": "text", "condition": "length(\"T\" <"}]}]})",
         u"not one expression"_s},
        {"condition naming an unknown field",
         table + R"({"name": "T", "type": "text", "condition": "length(U) < 3"}]}]})",
         u"no such column: U"_s},
        {"engine naming rule", table + R"({"name": "vdb_x", "type": "text"}]}]})", u"reserved"_s},
        {"not JSON", "name: x", u"line 1"_s},
    };
    VdbFixture fx;
    const QString schema = fx.path(u"schema.json"_s);
    const QString file = fx.path(u"bad.vdb"_s);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        writeFile(schema, c.json);
        const ToolResult result = runTool({u"create"_s, file, u"--schema"_s, schema});
        EXPECT_EQ(result.status, 1);
        EXPECT_TRUE(result.err.contains(c.mentions)) << result.err.toStdString();
        EXPECT_FALSE(QFile::exists(file));
    }
    EXPECT_EQ(QDir(fx.folder()).entryList(QDir::Files | QDir::Hidden),
              QStringList{u"schema.json"_s});
}

TEST(VdbToolCreate, NeverReplacesAnExistingFile) {
    VdbFixture fx;
    const QString schema = fx.path(u"schema.json"_s);
    writeFile(schema, kSchema);
    const QString file = fx.path(u"kunden.vdb"_s);
    writeFile(file, "the only copy");
    const ToolResult result = runTool({u"create"_s, file, u"--schema"_s, schema});
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(result.err.contains(u"exists"_s)) << result.err.toStdString();
    EXPECT_EQ(readFile(file), QByteArray("the only copy"));
}

TEST(VdbToolCreate, UsageErrorsExplainThemselves) {
    VdbFixture fx;
    struct Case {
        QStringList args;
        int status;
        QString mentions;
    };
    const Case cases[] = {
        {{}, 2, u"Usage: vdbtool COMMAND"_s},
        {{u"frobnicate"_s}, 2, u"unknown command (the argument is not shown"_s},
        {{u"create"_s, fx.path(u"a.vdb"_s)}, 2, u"--schema SCHEMA.json is missing"_s},
        {{u"create"_s, u"--schema"_s}, 2, u"needs a value"_s},
        {{u"create"_s, u"a.vdb"_s, u"b.vdb"_s, u"--schema=s.json"_s},
         2,
         u"too many arguments: 1 more than expected (the argument is not shown"_s},
        {{u"create"_s, u"a.vdb"_s, u"--schema"_s, u"s"_s, u"--schema"_s, u"t"_s},
         2,
         u"given twice"_s},
        {{u"create"_s, u"a.vdb"_s, u"--colour"_s}, 2, u"unknown option (the argument is not"_s},
        {{u"create"_s, fx.path(u"a.vdb"_s), u"--schema"_s, fx.path(u"none.json"_s)},
         1,
         u"cannot read the schema file"_s},
        {{u"info"_s, fx.path(u"none.vdb"_s)}, 1, u"does not exist"_s},
        {{u"demo"_s, fx.path(u"d.vdb"_s), u"--records"_s, u"-1"_s}, 2, u"--records needs"_s},
        {{u"demo"_s, fx.path(u"d.vdb"_s), u"--seed"_s, u"x"_s}, 2, u"--seed needs"_s},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(u' ').toStdString());
        const ToolResult result = runTool(c.args);
        EXPECT_EQ(result.status, c.status);
        EXPECT_TRUE(result.err.contains(c.mentions)) << result.err.toStdString();
        EXPECT_FALSE(result.err.contains(u"frobnicate"_s) || result.err.contains(u"b.vdb"_s) ||
                     result.err.contains(u"colour"_s));
        EXPECT_TRUE(result.out.isEmpty());
    }
    EXPECT_TRUE(QDir(fx.folder()).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
}

TEST(VdbToolCreate, EveryCommandHasHelp) {
    for (const QString& command : {u"create"_s, u"import"_s, u"export"_s, u"mark"_s, u"unmark"_s,
                                   u"user"_s, u"location"_s, u"info"_s, u"demo"_s}) {
        SCOPED_TRACE(command.toStdString());
        const ToolResult result = runTool({command, u"--help"_s});
        EXPECT_TOOL_OK(result);
        EXPECT_TRUE(result.out.startsWith(u"Usage: vdbtool "_s));
        EXPECT_TRUE(result.out.contains(u"vdbtool "_s + command + u' '))
            << result.out.toStdString();
        EXPECT_EQ(runTool({u"help"_s, command}).out, result.out);
    }
    EXPECT_TRUE(runTool({u"--help"_s}).out.contains(u"demo FILE"_s));
}

} // namespace
