#include "Sqlite.h"
#include "StringConversions.h"
#include "VdbAdmin.h"
#include "VdbFixture.h"
#include "VdbToolTestSupport.h"

using namespace Qt::StringLiterals;

namespace {

// A table of text fields, one typed field of each kind and a condition.
QString contactsFile(VdbFixture& fx) {
    TableSchema table = tableOf(u"Kontakte"_s, {u"Name"_s, u"Telefon"_s, u"Notiz"_s});
    table.fields << FieldSchema{u"ID"_s, FieldType::Integer, {}}
                 << FieldSchema{u"Betrag"_s, FieldType::Real, {}}
                 << FieldSchema{u"Seit"_s, FieldType::Date, {}}
                 << FieldSchema{u"Fax"_s, FieldType::Text, u"length(\"Fax\") <= 5"_s};
    table.indexes << IndexSchema{u"ID"_s, {u"ID"_s}};
    return fx.create(u"kontakte.vdb"_s, schemaOf({table}));
}

TEST(VdbToolData, ImportThenExportGivesTheSameCells) {
    VdbFixture fx;
    const QString file = contactsFile(fx);
    // Written the way export writes, so the round trip must give the bytes back.
    const QByteArray csv =
        "Name,Telefon,Notiz,ID,Betrag,Seit,Fax\r\n"
        "\"Gasthaus \"\"Zur Linde\"\"\",030 1234567,\"Müller, Köln\",1,12.5,2024-02-29,\"\"\r\n"
        "\" Blanks \",\"  \",\"zwei\r\nZeilen\nund mehr\",2,-0.1,,12345\r\n"
        ",,,3,1e+100,1999-12-31,\r\n"
        "Zoë 📞,\"+49 (30) 1234567 \",\"\"\"\",-4,0,,\"\"\r\n"
        "Ångström,\"a,b\",\"\tTab\",,,,\r\n"
        "\"\xEF\xBB\xBF"
        "bom\",,,6,,,\r\n";
    const QString path = fx.path(u"in.csv"_s);
    writeFile(path, "\xEF\xBB\xBF" + csv);
    const ProcessResult imported = runTool({u"import"_s, file, u"Kontakte"_s, path});
    EXPECT_TOOL_OK(imported);
    EXPECT_EQ(imported.out, u"Imported 6 records into Kontakte.\n"_s);
    EXPECT_EQ(exportTable(file, u"Kontakte"_s).toUtf8(), csv);
    // Bytes that are not UTF-8 are written as they are stored, quoted, byte for byte.
    {
        SqliteConnection raw;
        ASSERT_EQ(raw.open(file, SQLITE_OPEN_READWRITE), SQLITE_OK);
        raw.exec(u"UPDATE Kontakte SET Notiz = CAST(X'61FF2C' AS TEXT) WHERE ID = 3"_s);
    }
    EXPECT_TRUE(runTool({u"export"_s, file, u"Kontakte"_s})
                    .outBytes.contains(",,\"a\xFF,\",3,1e+100,1999-12-31,\r\n"));
}

TEST(VdbToolData, HeaderMayLeaveFieldsOutAndOrderThem) {
    VdbFixture fx;
    const QString file = contactsFile(fx);
    const QString path = fx.path(u"in.csv"_s);
    writeFile(path, "ID,Name\n7,Sieben\n");
    EXPECT_TOOL_OK(runTool({u"import"_s, file, u"Kontakte"_s, path}));
    EXPECT_EQ(exportTable(file, u"Kontakte"_s),
              u"Name,Telefon,Notiz,ID,Betrag,Seit,Fax\r\nSieben,,,7,,,\r\n"_s);
}

TEST(VdbToolData, FailedImportNamesTheLineAndKeepsTheTable) {
    VdbFixture fx;
    const QString file = contactsFile(fx);
    VdbFixture::insert(file, u"Kontakte"_s, {u"Name"_s, u"ID"_s}, {{u"Alt"_s, 1}});
    const QString before = exportTable(file, u"Kontakte"_s);
    // clang-format off
    struct Case { const char* what; QByteArray csv; QStringList mentions; };
    const Case cases[] = {
        {"unknown field", "Name,Telfon\na,b\n", {u"line 1"_s, u"no field \"Telfon\""_s}},
        {"field twice", "Name,Name\na,b\n", {u"line 1"_s, u"named twice"_s}},
        {"empty file", "", {u"empty"_s}},
        {"too few cells", "Name,ID\na,1\nb\n", {u"line 3: 1 cells"_s, u"names 2 fields"_s}},
        {"too many cells", "Name,ID\na,1,\n", {u"line 2: 3 cells"_s}},
        {"condition broken after a multi-line record", "Name,Fax\n\"x\ny\",1\nz,123456\n", {u"line 4"_s, u"\"Fax\""_s, u"length(\"Fax\") <= 5"_s}},
        {"type broken", "Name,ID\na,1\nb,zwei\n", {u"line 3"_s, u"\"zwei\""_s, u"integer"_s}},
        {"date broken", "Seit\n2024-02-30\n", {u"line 2"_s, u"date"_s}},
        {"empty text in an integer field", "ID\n\"\"\n", {u"line 2"_s, u"integer"_s}},
        {"NUL in a text", QByteArray("Name\na\0b\n", 8), {u"line 2"_s, u"NUL"_s}},
    };
    // clang-format on
    const QString path = fx.path(u"in.csv"_s);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        writeFile(path, c.csv);
        const ProcessResult result = runTool({u"import"_s, file, u"Kontakte"_s, path});
        EXPECT_EQ(result.status, 1);
        for (const QString& part : c.mentions)
            EXPECT_TRUE(result.err.contains(part)) << result.err.toStdString();
        EXPECT_FALSE(result.err.contains(u"row "_s)) << result.err.toStdString();
        EXPECT_EQ(exportTable(file, u"Kontakte"_s), before);
    }
    EXPECT_EQ(runTool({u"import"_s, file, u"Nope"_s, path}).status, 1);
    EXPECT_EQ(runTool({u"import"_s, file, u"Kontakte"_s, fx.path(u"none.csv"_s)}).status, 1);
    EXPECT_EQ(runTool({u"export"_s, file, u"Nope"_s}).status, 1);
}

TEST(VdbToolData, MarksByIdAndAll) {
    VdbFixture fx;
    const QString file = contactsFile(fx);
    VdbFixture::insert(file, u"Kontakte"_s, {u"ID"_s}, {{1}, {2}, {3}, {4}, {-5}, {2}});
    // clang-format off
    const std::tuple<QStringList, int, QString, int> steps[] = {
        {{u"mark"_s, u"2"_s, u"-5"_s, u"99"_s}, 0, u"3 records marked.\n"_s, 3},
        {{u"mark"_s, u"2"_s}, 0, u"0 records marked.\n"_s, 3},
        {{u"unmark"_s, u"-5"_s}, 0, u"1 record unmarked.\n"_s, 2},
        {{u"mark"_s, u"--all"_s}, 0, u"4 records marked.\n"_s, 6},
        {{u"unmark"_s, u"--all"_s}, 0, u"6 records unmarked.\n"_s, 0},
        {{u"mark"_s}, 2, {}, 0},
        {{u"mark"_s, u"--all"_s, u"1"_s}, 2, {}, 0},
        {{u"mark"_s, u"1"_s, u"eins"_s}, 1, u"eins"_s, 0}, // the good ID before stays unmarked
    };
    // clang-format on
    for (const auto& [args, status, says, marked] : steps) {
        const ProcessResult result =
            runTool(QStringList{args[0], file, u"Kontakte"_s} + args.mid(1));
        EXPECT_EQ(result.status, status) << args.join(u' ').toStdString();
        EXPECT_TRUE((status == 0 ? result.out : result.err).contains(says))
            << result.err.toStdString();
        EXPECT_EQ(VdbAdmin(file).markedCount(u"Kontakte"_s), marked);
    }
}

TEST(VdbToolData, MarkNeedsAnIdField) {
    VdbFixture fx;
    const QString file = fx.create(u"x.vdb"_s, schemaOf({tableOf(u"T"_s, {u"Name"_s})}));
    VdbFixture::insert(file, u"T"_s, {u"Name"_s}, {{u"a"_s}});
    const ProcessResult result = runTool({u"mark"_s, file, u"T"_s, u"1"_s});
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(result.err.contains(u"\"ID\""_s)) << result.err.toStdString();
    EXPECT_TOOL_OK(runTool({u"mark"_s, file, u"T"_s, u"--all"_s}));
}

} // namespace
