#include "IndexChoice.h"
#include "AppTitle.h"
#include "FaultyDatabase.h"
#include "MessageBoxPrinting.h"
#include "ScriptedMessageBoxes.h"
#include "StringConversions.h"
#include "VdbErrors.h"
#include "VdbFixture.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

TableSchema withIndexes(const QString& name, const QStringList& indexes, const QStringList& uses) {
    TableSchema table = tableOf(name, {u"A"_s, u"B"_s});
    for (const QString& index : indexes)
        table.indexes << IndexSchema{index, {u"A"_s}};
    table.indexUses = uses;
    return table;
}

class IndexChoiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        TableSchema customers = tableOf(u"Kunden"_s, {u"Name"_s, u"Ort"_s});
        customers.properties << std::pair{u"ItemExpression"_s,
                                          u"Kunden->Name + \", \" + Kunden->Ort"_s};
        TableSchema plain = tableOf(u"Plain"_s, {u"Nr"_s, u"Name"_s});
        plain.fields[0].type = FieldType::Integer;
        TableSchema broken = tableOf(u"Broken"_s, {u"Name"_s});
        broken.properties << std::pair{u"ItemExpression"_s, u"Broken->"_s};
        TableSchema spaced = tableOf(u"Contact persons"_s, {u"Full name"_s});
        const QString file = fx.create(
            u"i.vdb"_s,
            schemaOf({withIndexes(u"NoUses"_s, {u"Name"_s, u"City"_s}, {}),
                      withIndexes(u"FirstUsed"_s, {u"Name"_s, u"City"_s}, {u"Name"_s}),
                      withIndexes(u"AllUsed"_s, {u"Name"_s, u"City"_s},
                                  {u"City"_s, u"Name"_s, u"City"_s}),
                      withIndexes(u"NoIndexes"_s, {}, {}),
                      withIndexes(u"CaseOnly"_s, {u"key"_s, u"KEY"_s, u"Other"_s}, {u"key"_s}),
                      customers, plain, broken, spaced, tableOf(u"NoFields"_s, {})}));
        VdbFixture::insert(file, u"Kunden"_s, {u"Name"_s, u"Ort"_s}, {{u"Meier"_s, u"Berlin"_s}});
        VdbFixture::insert(file, u"Plain"_s, {u"Nr"_s, u"Name"_s},
                           {{42, u"x"_s}, {QVariant(), u"y"_s}});
        VdbFixture::insert(file, u"Broken"_s, {u"Name"_s}, {{u"Schulz"_s}});
        VdbFixture::insert(file, u"Contact persons"_s, {u"Full name"_s}, {{u"Eva Lang"_s}});
        VdbFixture::insert(file, u"NoFields"_s, {}, {{}});
        db = VdbFixture::open(file);
        for (const TablePtr& table : db->Tables())
            table->MoveFirst(0);
    }

    VdbFixture fx;
    DatabasePtr db;
    ScriptedMessageBoxes boxes;
};

TEST_F(IndexChoiceTest, IndexAndLabelWithoutFailure) {
    // clang-format off
    const std::pair<QString, QString> indexes[] = {
        {u"NoUses"_s, u"Name"_s},
        {u"FirstUsed"_s, u"City"_s},
        {u"AllUsed"_s, QString()},
        {u"NoIndexes"_s, QString()},
        {u"CaseOnly"_s, u"Other"_s}, // "KEY" differs from the referred "key" only in letter case: it counts as referred
    };
    // clang-format on
    for (const auto& [table, index] : indexes)
        EXPECT_EQ(GetIndexName(*db->Tables()->Item(table), boxes), index) << table.toStdString();
    // An unreadable ItemExpression falls back silently; names with blanks make a default label.
    const DatabasePtr faulty = faultyDatabase(db, [](const QString& operation) {
        if (operation == u"Table.Properties:Kunden"_s)
            throw vdbError(VdbCode::StorageFailure, u"refused"_s);
    });
    EXPECT_EQ(GetItem(*faulty->Tables()->Item(u"Kunden"_s), boxes), u"Meier"_s);
    EXPECT_EQ(GetItem(*db->Tables()->Item(u"Contact persons"_s), boxes), u"Eva Lang"_s);
}

TEST_F(IndexChoiceTest, FailuresShowTheBoxAndYieldNothing) {
    const DatabasePtr faulty = faultyDatabase(db, [](const QString& operation) {
        if (operation == u"Table.IndexUses:FirstUsed"_s)
            throw vdbError(VdbCode::StorageFailure, u"refused"_s);
    });
    boxes.expect(MsgAnswer::Ok);
    EXPECT_EQ(GetIndexName(*faulty->Tables()->Item(u"FirstUsed"_s), boxes), QString());
    const MessageBoxRequest expected{u"Fehler: -2147217377in GetIndexName\r\nrefused"_s, AppTitle(),
                                     MsgIcon::Exclamation, MsgButtons::Ok, MsgAnswer::Ok};
    EXPECT_EQ(boxes.last(), expected);
    // A table without fields has no label.
    boxes.expect(MsgAnswer::Ok);
    EXPECT_EQ(GetItem(*db->Tables()->Item(u"NoFields"_s), boxes), QString());
    EXPECT_TRUE(boxes.last().text.startsWith(
        u"Fehler: "_s + QString::number(serverErrorNumber(VdbCode::NoSuchItem)) +
        u"in GetItem\r\n"_s));
    EXPECT_EQ(boxes.last().icon, MsgIcon::Exclamation);
}

// A run reads and compiles each table's label once, yet every record gets its own label.
TEST_F(IndexChoiceTest, RunLabelsCompileOncePerTableAndFollowTheCursor) {
    QStringList reads;
    const DatabasePtr counted = faultyDatabase(db, [&reads](const QString& operation) {
        if (operation.startsWith(u"Table.Properties"_s))
            reads << operation;
    });
    RecordLabels labels(boxes);
    const TablePtr kunden = counted->Tables()->Item(u"Kunden"_s);
    const TablePtr broken = counted->Tables()->Item(u"Broken"_s);
    const TablePtr plain = counted->Tables()->Item(u"Plain"_s);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(labels(*kunden), u"Meier, Berlin"_s);
        EXPECT_EQ(labels(*broken), u"Schulz"_s); // does not compile: first field
    }
    EXPECT_EQ(labels(*plain), u"42"_s); // no ItemExpression: first field
    plain->Skip(1, 0);
    boxes.expect(MsgAnswer::Ok);
    EXPECT_EQ(labels(*plain), QString());
    EXPECT_EQ(boxes.last().text, u"Fehler: 94in GetItem\r\nInvalid use of Null"_s);
    EXPECT_EQ(reads, (QStringList{u"Table.Properties:Kunden"_s, u"Table.Properties:Broken"_s,
                                  u"Table.Properties:Plain"_s}));
}

} // namespace
