#include "StringConversions.h"
#include "TestDatabases.h"
#include "VdbTestSupport.h"

using namespace Qt::StringLiterals;

namespace {

template <typename Items>
QStringList names(const Items& items) {
    QStringList result;
    for (const auto& item : items)
        result << item->Name();
    return result;
}

class VdbCatalogueTest : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override {
        TableSchema customers =
            tableOf(u"Kunden"_s, {u"ID"_s, u"Name"_s, u"Telefon"_s}, u"Customers"_s);
        customers.indexes << IndexSchema{u"ID"_s, {u"ID"_s}} << IndexSchema{u"Name"_s, {u"Name"_s}};
        customers.indexUses << u"Name"_s;
        customers.properties << std::pair{u"ItemExpression"_s, u"Kunden->Name"_s}
                             << std::pair{u"Other"_s, u""_s};
        TableSchema suppliers = tableOf(u"Lieferanten"_s, {u"ID"_s, u"Telefax"_s});
        suppliers.indexes << IndexSchema{u"ID"_s, {u"ID"_s}};
        TableSchema empty = tableOf(u"Leer"_s, {});
        db = fx.open(fx.create(u"c"_s, schemaOf({customers, suppliers, empty})));
    }
    TestDatabases fx{GetParam()};
    DatabasePtr db;
};

TEST_P(VdbCatalogueTest, CatalogueAsCreated) {
    QStringList tables;
    for (const TablePtr& table : db->Tables())
        tables << table->Name() + u'=' + table->Caption();
    EXPECT_EQ(tables, (QStringList{u"Kunden=Customers"_s, u"Lieferanten="_s, u"Leer="_s}));
    EXPECT_EQ(db->Tables()->Count(), 3);
    auto* location = dynamic_cast<TelephoneLocation*>(db.get());
    ASSERT_NE(location, nullptr);
    EXPECT_EQ(location->LocationCountry() + location->LocationAreaCode(), u"DE30"_s);
    const TablePtr table = db->Tables()->Item(u"Kunden"_s);
    EXPECT_EQ(names(table->Fields()), (QStringList{u"ID"_s, u"Name"_s, u"Telefon"_s}));
    EXPECT_EQ(table->Fields()->Item(2)->Name(), u"Telefon"_s);
    EXPECT_EQ(names(table->Indexes()), (QStringList{u"ID"_s, u"Name"_s}));
    EXPECT_EQ(table->Indexes()->Item(u"Name"_s)->Name(), u"Name"_s);
    ASSERT_EQ(table->IndexUses()->Count(), 1);
    EXPECT_EQ(table->IndexUses()->Item(0)->Index()->Name(), u"Name"_s);
    EXPECT_EQ(table->Properties()->Item(u"ItemExpression"_s)->Value(), QVariant(u"Kunden->Name"_s));
    EXPECT_EQ(table->Properties()->Item(u"Other"_s)->Value(), QVariant(u""_s));
    // Index names belong to their table: both have "ID".
    EXPECT_EQ(db->Tables()->Item(u"Lieferanten"_s)->Indexes()->Item(u"ID"_s)->Name(), u"ID"_s);
    EXPECT_EQ(db->Tables()->Item(u"Lieferanten"_s)->IndexUses()->Count(), 0);
    EXPECT_EQ(db->Tables()->Item(u"Leer"_s)->Fields()->Count(), 0);
}

TEST_P(VdbCatalogueTest, EveryItemFailsWhenNothingMatches) {
    const TablePtr table = db->Tables()->Item(u"Kunden"_s);
    const std::function<void()> calls[] = {
        [&] { db->Tables()->Item(u"kunden"_s); },
        [&] { db->Tables()->Item(u""_s); },
        [&] { db->Tables()->At(3); },
        [&] { table->Fields()->Item(u"name"_s); },
        [&] { table->Fields()->Item(3); },
        [&] { table->Fields()->Item(-1); },
        [&] { table->Indexes()->Item(u"id"_s); },
        [&] { table->Indexes()->Activate(u"Nope"_s, 0); },
        [&] { table->IndexUses()->Item(1); },
        [&] { table->Properties()->Item(u"itemexpression"_s); },
        [&] { db->Tables()->Item(u"Leer"_s)->Fields()->Item(0); },
    };
    for (const auto& call : calls)
        expectServerError(call, VdbCode::NoSuchItem);
}

TEST_P(VdbCatalogueTest, ItemHandsBackTheSameTableAndObjectsOutliveTheirDatabase) {
    const TablePtr table = db->Tables()->Item(u"Kunden"_s);
    EXPECT_EQ(table, db->Tables()->Item(u"Kunden"_s));
    EXPECT_EQ(table, table->Parent()->Item(u"Kunden"_s));
    const FieldPtr field = table->Fields()->Item(u"Name"_s);
    db.reset();
    EXPECT_EQ(table->RecordCount(), 0);
    EXPECT_EQ(field->Name(), u"Name"_s);
    EXPECT_EQ(table->Parent()->Parent()->Name(), u"Test"_s);
}

INSTANTIATE_TEST_SUITE_P(Backends, VdbCatalogueTest, ::testing::Values(Backend::Vdb, Backend::Pg),
                         backendName);

} // namespace
