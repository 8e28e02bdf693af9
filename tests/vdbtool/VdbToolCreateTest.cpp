#include "StringConversions.h"
#include "VdbFixture.h"
#include "VdbToolTestSupport.h"

#include <QDir>

using namespace Qt::StringLiterals;

namespace {

// A schema with every part the JSON may give.
const char kSchemaJson[] =
    R"({"name": "Firma Müller", "location": {"country": "AT", "areaCode": "316"},
  "users": [{"name": "ADMIN", "password": "geheim \"1\"", "databaseAdmin": true, "userAdmin": true},
            {"name": "Leser", "password": "p\u00e4ss\ud83d\udcde"}],
  "tables": [{"name": "Kunden", "caption": "Unsere Kunden",
              "fields": [{"name": "ID", "type": "integer"},
                         {"name": "Telefax", "type": "text", "condition": "length(\"Telefax\") <= 20"},
                         {"name": "Umsatz", "type": "real"}, {"name": "Seit", "type": "date"}],
              "indexes": [{"name": "ID", "fields": ["ID"]}, {"name": "Fax", "fields": ["Telefax", "ID"]}],
              "indexUses": ["Fax"],
              "properties": {"ZZZ": "first", "ItemExpression": "Kunden->ID", "AAA": "last"}},
             {"name": "Leer", "caption": "", "fields": [{"name": "X", "type": "real"}]}]})";

TEST(VdbToolCreate, InfoShowsEverythingTheSchemaGave) {
    VdbFixture fx;
    const QString schema = fx.path(u"schema.json"_s);
    writeFile(schema, kSchemaJson);
    const QString file = fx.path(u"neu.vdb"_s);
    const ProcessResult created = runTool({u"create"_s, file, u"--schema"_s, schema});
    EXPECT_TOOL_OK(created);
    EXPECT_TRUE(created.out.contains(u"2 tables, 2 users"_s)) << created.out.toStdString();

    VdbFixture::insert(file, u"Kunden"_s, {u"ID"_s}, {{1}, {2}});
    const ProcessResult info = runTool({u"info"_s, file});
    EXPECT_TOOL_OK(info);
    // clang-format off
    const QString expected[] = {
        u"Name:     \"Firma Müller\""_s,
        u"Location: AT, area code 316"_s,
        u"Table Kunden\n  Caption:  \"Unsere Kunden\"\n  Records:  2, marked 0"_s,
        u"    ID  integer\n    Telefax  text  condition: length(\"Telefax\") <= 20\n    Umsatz  real\n    Seit  date\n"_s,
        u"    ID (ID)\n    Fax (Telefax, ID)\n  Index uses: Fax\n"_s,
        u"    ZZZ = first\n    ItemExpression = Kunden->ID\n    AAA = last\n"_s,
        u"Table Leer\n  Caption:  \"\"\n  Records:  0, marked 0\n  Fields:\n    X  real\n  Indexes: none\n  Index uses: none\n  Properties: none\n"_s,
        u"Users:\n  ADMIN  database admin, user admin\n  Leser  no admin rights\n"_s,
    };
    // clang-format on
    for (const QString& part : expected)
        EXPECT_TRUE(info.out.contains(part)) << "missing: " << part.toStdString() << "\nin:\n"
                                             << info.out.toStdString();
    EXPECT_FALSE(info.out.contains(u"argon"_s, Qt::CaseInsensitive));
    EXPECT_NO_THROW(VdbFixture::open(file, u"Leser"_s, u"päss📞"_s));
    EXPECT_NO_THROW(VdbFixture::open(file, u"ADMIN"_s, u"geheim \"1\""_s));
}

// Status 0 answers on standard output, others on standard error, never echoing an argument.
TEST(VdbToolCreate, UsageErrorsExplainThemselvesAndEveryCommandHasHelp) {
    VdbFixture fx;
    // clang-format off
    struct Case { QStringList args; int status; QString mentions; };
    const QString a = fx.path(u"a.vdb"_s);
    const QString d = fx.path(u"d.vdb"_s);
    // A condition naming no field of its table is refused and leaves no file.
    const QString bad = fx.path(u"bad.json"_s);
    writeFile(bad, R"({"name": "x", "tables": [{"name": "K", "fields": [{"name": "T", "type": "text", "condition": "length(U) < 3"}]}]})");
    const Case cases[] = {
        {{}, 2, u"Usage: vdbtool COMMAND"_s},
        {{u"frobnicate"_s}, 2, u"unknown command (the argument is not shown"_s},
        {{u"create"_s, a}, 2, u"--schema SCHEMA.json is missing"_s},
        {{u"create"_s, u"--schema"_s}, 2, u"Missing value after '--schema'."_s},
        {{u"create"_s, u"a.vdb"_s, u"b.vdb"_s, u"--schema=s.json"_s}, 2, u"too many arguments: 1 more than expected (the argument is not shown"_s},
        {{u"create"_s, u"a.vdb"_s, u"--schema"_s, u"s"_s, u"--schema"_s, u"t"_s}, 2, u"given twice"_s},
        {{u"create"_s, u"a.vdb"_s, u"--colour"_s}, 2, u"unknown option (the argument is not"_s},
        {{u"create"_s, a, u"--schema"_s, fx.path(u"none.json"_s)}, 1, u"cannot read the schema file"_s},
        {{u"create"_s, a, u"--schema"_s, bad}, 1, u"no such column: U"_s},
        {{u"info"_s, fx.path(u"none.vdb"_s)}, 1, u"does not exist"_s},
        {{u"demo"_s, d, u"--records"_s, u"-1"_s}, 2, u"--records needs"_s},
        {{u"demo"_s, d, u"--seed"_s, u"x"_s}, 2, u"--seed needs"_s},
        {{u"create"_s, u"--help"_s}, 0, u"Usage: vdbtool create "_s},
        {{u"help"_s, u"import"_s}, 0, u"Usage: vdbtool import "_s},
        {{u"--version"_s}, 0, u"vdbtool (Telnormer) " TELNORMER_VERSION "\n"_s},
        {{u"--help-all"_s}, 0, u"\nvdbtool demo FILE [--records N] [--seed S] [--unique]:\n  Creates"_s},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(u' ').toStdString());
        const ProcessResult result = runTool(c.args);
        EXPECT_EQ(result.status, c.status);
        EXPECT_TRUE((c.status == 0 ? result.out : result.err).contains(c.mentions))
            << result.out.toStdString() << result.err.toStdString();
        EXPECT_TRUE((c.status == 0 ? result.err : result.out).isEmpty());
        EXPECT_FALSE(result.err.contains(u"frobnicate"_s) || result.err.contains(u"b.vdb"_s) ||
                     result.err.contains(u"colour"_s));
    }
    EXPECT_EQ(QDir(fx.folder()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{u"bad.json"_s});
}

} // namespace
