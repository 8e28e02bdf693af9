#include "BatchRead.h"
#include "DatabaseUri.h"
#include "PgConnection.h"
#include "Sqlite.h"
#include "StringConversions.h"
#include "TestDatabases.h"

#include <gtest/gtest.h>

#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace {

// Batches of 10 read 20 records ahead, in row-id and in index order and across pages, while
// another program rewrites every name between batches: whatever a batch reads, and whatever the
// fields give, is what the database holds after the batch's BEGIN. On a server the writes a
// batch holds back for its commit are what the next visit finds.
class ReadAheadTest : public ::testing::TestWithParam<Backend> {};

TEST_P(ReadAheadTest, EveryBatchSeesTheDataAsItsTransactionFindsIt) {
    TestDatabases fx(GetParam());
    TableSchema schema = tableOf(u"T"_s, {u"Name"_s, u"Telefon"_s});
    schema.indexes << IndexSchema{u"Tel"_s, {u"Telefon"_s}};
    const QString file = fx.create(u"ahead"_s, schemaOf({schema}));
    QList<QVariantList> rows;
    for (int i = 0; i < 2005; ++i)
        rows << QVariantList{u"n"_s, QString(u"0"_s + QString::number(2005 - i))};
    fx.insert(file, u"T"_s, {u"Name"_s, u"Telefon"_s}, rows);
    std::unique_ptr<PgConnection> server;
    SqliteConnection writer;
    if (GetParam() == Backend::Pg)
        server = std::make_unique<PgConnection>(TestDatabases::superuserUri(uriDatabaseName(file)),
                                                QString(), QString());
    else
        ASSERT_EQ(writer.open(file, SQLITE_OPEN_READWRITE), SQLITE_OK);
    const auto write = [&](const QString& name) {
        const QString sql = u"UPDATE "_s + (server ? u"telnormer."_s : QString()) +
                            u"\"T\" SET \"Name\" = '"_s + name + u"'"_s;
        server ? void(server->exec(sql)) : writer.exec(sql);
    };
    for (const QString& index : {QString(), u"Tel"_s}) {
        SCOPED_TRACE(index.toStdString());
        const DatabasePtr conn = fx.open(file);
        write(u"n"_s);
        const TablePtr t = conn->Tables()->Item(u"T"_s);
        auto* batch = dynamic_cast<BatchRead*>(t.get());
        ASSERT_NE(batch, nullptr);
        if (!index.isEmpty())
            t->Indexes()->Activate(index, 0);
        const auto transaction = conn->GetTransaction(0);
        const FieldPtr name = t->Fields()->Item(u"Name"_s);
        const FieldPtr telefon = t->Fields()->Item(u"Telefon"_s);
        QString expected = u"n"_s;
        int n = 0;
        transaction->Begin(0);
        QList<QVariantList> ahead;
        for (t->MoveFirst(256); !t->Eof(); t->Skip(1, 256)) {
            if (n % 10 == 0)
                ahead = batch->ReadAhead({u"Name"_s, u"Telefon"_s}, 20).mid(0, 10);
            ASSERT_FALSE(ahead.isEmpty()) << n;
            EXPECT_EQ(ahead.takeFirst(), (QVariantList{name->Value(), telefon->Value()})) << n;
            EXPECT_EQ(name->Value().toString(), expected) << n;
            telefon->SetValue(QString(u"+"_s + QString::number(n)));
            t->Update(256);
            if (++n % 10 == 0) {
                transaction->Commit();
                expected = u"w"_s + QString::number(n);
                write(expected);
                transaction->Begin(0);
            }
        }
        transaction->Commit();
        EXPECT_EQ(n, 2005);
    }
    // The index visit wrote "+0".."+2004" in the order of what the first visit wrote.
    const TablePtr t = fx.open(file)->Tables()->Item(u"T"_s);
    t->Indexes()->Activate(u"Tel"_s, 0);
    t->MoveFirst(0);
    EXPECT_EQ(t->Fields()->Item(u"Telefon"_s)->Value(), QVariant(u"+0"_s));
}

INSTANTIATE_TEST_SUITE_P(Backends, ReadAheadTest, ::testing::Values(Backend::Vdb, Backend::Pg),
                         backendName);

} // namespace
