#include "StringConversions.h"
#include "TestDatabases.h"
#include "VdbTestSupport.h"

using namespace Qt::StringLiterals;

namespace {

class VdbTransactionTest : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override {
        file = fx.create(u"t"_s, schemaOf({tableOf(u"T"_s, {u"Wert"_s})}));
        fx.insert(file, u"T"_s, {u"Wert"_s}, {{u"alt"_s}});
        db = fx.open(file);
        table = db->Tables()->Item(u"T"_s);
        transaction = db->GetTransaction(0);
        table->MoveFirst(0);
    }

    // The stored value as another connection sees it.
    QVariant storedValue(const QString& path) {
        const TablePtr t = fx.open(path, u"ADMIN"_s, u"admin"_s, 0, 100)->Tables()->Item(u"T"_s);
        t->MoveFirst(0);
        return t->Fields()->Item(0)->Value();
    }

    void write(const QString& value) {
        table->Fields()->Item(0)->SetValue(value);
        table->Update(0);
    }

    TestDatabases fx{GetParam()};
    QString file;
    DatabasePtr db;
    TablePtr table;
    std::shared_ptr<Transaction> transaction;
};

TEST_P(VdbTransactionTest, CommitKeepsAndRollbackUndoes) {
    transaction->Begin(0);
    write(u"neu"_s);
    EXPECT_EQ(storedValue(file), QVariant(u"alt"_s)); // not yet visible to others
    transaction->Commit();
    EXPECT_EQ(storedValue(file), QVariant(u"neu"_s));

    transaction->Begin(0);
    write(u"verworfen"_s);
    transaction->Rollback();
    EXPECT_EQ(storedValue(file), QVariant(u"neu"_s));
    // The cursor reads the undone value again, not what it had cached.
    EXPECT_EQ(table->Fields()->Item(0)->Value(), QVariant(u"neu"_s));
}

TEST_P(VdbTransactionTest, CallsOutOfStateFailAndKeepTheState) {
    expectServerError([&] { transaction->Commit(); }, VdbCode::TransactionState);
    expectServerError([&] { transaction->Rollback(); }, VdbCode::TransactionState);
    write(u"sofort"_s); // no transaction: kept at once
    EXPECT_EQ(storedValue(file), QVariant(u"sofort"_s));
    transaction->Begin(0);
    write(u"offen"_s);
    expectServerError([&] { transaction->Begin(0); }, VdbCode::TransactionState);
    expectServerError([&] { db->GetTransaction(0)->Begin(0); }, VdbCode::TransactionState);
    transaction->Rollback();
    EXPECT_EQ(storedValue(file), QVariant(u"sofort"_s));
    expectServerError([&] { transaction->Commit(); }, VdbCode::TransactionState);
}

TEST_P(VdbTransactionTest, ClosingWithAnOpenTransactionKeepsNothing) {
    transaction->Begin(0);
    write(u"verloren"_s);
    transaction.reset();
    table.reset();
    db.reset();
    EXPECT_EQ(storedValue(file), QVariant(u"alt"_s));
}

TEST_P(VdbTransactionTest, TwoConnectionsAtOnce) {
    const DatabasePtr second = fx.open(file, u"ADMIN"_s, u"admin"_s, 0, 100);
    const TablePtr other = second->Tables()->Item(u"T"_s);
    transaction->Begin(0);
    write(u"erste"_s);
    // A reader is never blocked by the writer and sees the last committed value.
    other->MoveFirst(0);
    EXPECT_EQ(other->Fields()->Item(0)->Value(), QVariant(u"alt"_s));
    // A server locks the record at Update: the server backend's own test tries a second writer.
    if (GetParam() == Backend::Vdb) {
        // A second writer waits for the busy timeout, then fails, in words; nothing is left open.
        const QString why =
            expectServerError([&] { second->GetTransaction(0)->Begin(0); }, VdbCode::Locked);
        EXPECT_TRUE(why.startsWith(u"Another program is writing"_s)) << why.toStdString();
        EXPECT_NO_THROW(second->GetTransaction(0)->Rollback());
        expectServerError([&] { second->GetTransaction(0)->Begin(0); }, VdbCode::Locked);
        other->Fields()->Item(0)->SetValue(u"wartet"_s);
        expectServerError([&] { other->Update(0); }, VdbCode::Locked);
    }
    transaction->Commit();
    other->MoveFirst(0);
    EXPECT_EQ(other->Fields()->Item(0)->Value(), QVariant(u"erste"_s));
    if (GetParam() == Backend::Pg)
        return;
    // Once the lock is gone, that write begins its batch itself.
    other->Fields()->Item(0)->SetValue(u"zweite"_s);
    other->Update(0);
    EXPECT_EQ(storedValue(file), QVariant(u"erste"_s));
    second->GetTransaction(0)->Commit();
    table->MoveFirst(0);
    EXPECT_EQ(table->Fields()->Item(0)->Value(), QVariant(u"zweite"_s));
}

INSTANTIATE_TEST_SUITE_P(Backends, VdbTransactionTest, ::testing::Values(Backend::Vdb, Backend::Pg),
                         backendName);

} // namespace
