#include "StringConversions.h"
#include "TestDatabases.h"
#include "VdbTestSupport.h"

#include <QDate>
#include <QSet>

using namespace Qt::StringLiterals;

namespace {

class VdbCursorTest : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override {
        TableSchema t = tableOf(u"T"_s, {});
        t.fields << FieldSchema{u"ID"_s, FieldType::Integer, {}} << textField(u"Name"_s)
                 << FieldSchema{u"Telefon"_s, FieldType::Text, u"length(\"Telefon\") <= 12"_s}
                 << FieldSchema{u"Betrag"_s, FieldType::Real, {}}
                 << FieldSchema{u"Datum"_s, FieldType::Date, {}};
        t.indexes << IndexSchema{u"ID"_s, {u"ID"_s}} << IndexSchema{u"Tel"_s, {u"Telefon"_s}}
                  << IndexSchema{u"NameId"_s, {u"Name"_s, u"ID"_s}};
        file = fx.create(u"t"_s, schemaOf({t, tableOf(u"Other"_s, {u"X"_s})}));
        fx.insert(file, u"T"_s, {u"ID"_s, u"Name"_s, u"Telefon"_s},
                  {{3, u"b"_s, u"030 3"_s},
                   {1, u"a"_s, u"030 1"_s},
                   {5, u"b"_s, u"030 0"_s},
                   {2, u"c"_s, QVariant()},
                   {4, u"a"_s, u""_s}});
        fx.insert(file, u"Other"_s, {u"X"_s}, {{u"x1"_s}, {u"x2"_s}});
        db = fx.open(file);
        table = db->Tables()->Item(u"T"_s);
    }

    // The IDs the cursor visits from MoveFirst to EOF.
    QList<qint64> visit(const TablePtr& t) {
        QList<qint64> ids;
        const FieldPtr id = t->Fields()->Item(u"ID"_s);
        for (t->MoveFirst(256); !t->Eof(); t->Skip(1, 256))
            ids << id->Value().toLongLong();
        return ids;
    }

    // The values of fields at the cursor.
    static QVariantList values(const TablePtr& t, const QStringList& fields) {
        QVariantList result;
        for (const QString& field : fields)
            result << t->Fields()->Item(field)->Value();
        return result;
    }

    // The table as a fresh connection sees it, ordered by ID, at the record after skip others.
    TablePtr reopened(qint32 skip = 0) {
        const TablePtr t = fx.open(file)->Tables()->Item(u"T"_s);
        t->Indexes()->Activate(u"ID"_s, 0);
        t->MoveFirst(0);
        t->Skip(skip, 0);
        return t;
    }

    TestDatabases fx{GetParam()};
    QString file;
    DatabasePtr db;
    TablePtr table;
};

TEST_P(VdbCursorTest, OrderFollowsTheActiveIndexThenRowId) {
    EXPECT_EQ(visit(table), (QList<qint64>{3, 1, 5, 2, 4}));
    table->MoveFirst(0); // a visit left mid-page starts over in the order activated then
    table->Skip(1, 0);
    table->Indexes()->Activate(u"ID"_s, 0);
    EXPECT_EQ(visit(table), (QList<qint64>{1, 2, 3, 4, 5}));
    table->Indexes()->Activate(u"NameId"_s, 0);
    EXPECT_EQ(visit(table), (QList<qint64>{1, 4, 3, 5, 2}));
    // Null first, then text in binary order; equal keys in row-id order.
    fx.insert(file, u"T"_s, {u"ID"_s, u"Name"_s}, {{9, u"same"_s}, {7, u"same"_s}, {8, u"same"_s}});
    table->Indexes()->Activate(u"Tel"_s, 0);
    EXPECT_EQ(visit(table), (QList<qint64>{2, 9, 7, 8, 4, 5, 1, 3}));
}

TEST_P(VdbCursorTest, MarkedAndUnmarkedVisits) {
    fx.mark(file, u"T"_s, {u"2"_s, u"5"_s, u"99"_s}, true);
    EXPECT_EQ(table->MarkedCount(), 2);
    EXPECT_EQ(table->RecordCount(), 5);
    table->Indexes()->Activate(u"ID"_s, 0);
    table->ShowMarked(true, 256);
    table->ShowUnmarked(false, 256);
    EXPECT_EQ(visit(table), (QList<qint64>{2, 5}));
    table->ShowMarked(false, 256);
    table->ShowUnmarked(true, 256);
    EXPECT_EQ(visit(table), (QList<qint64>{1, 3, 4}));
    table->ShowUnmarked(false, 256);
    EXPECT_EQ(visit(table), QList<qint64>{});
    // Without an index the filter works on the row-id order too.
    const TablePtr fresh = fx.open(file)->Tables()->Item(u"T"_s);
    fresh->ShowUnmarked(false, 256);
    EXPECT_EQ(visit(fresh), (QList<qint64>{5, 2}));
    EXPECT_EQ(db->Tables()->Item(u"Other"_s)->MarkedCount(), 0);
    // The run chooses marked records right after MoveFirst, before it looks at the cursor.
    const TablePtr run = fx.open(file)->Tables()->Item(u"T"_s);
    run->MoveFirst(256);
    run->ShowUnmarked(false, 256);
    EXPECT_EQ(values(run, {u"ID"_s}), QVariantList{qlonglong(5)});
    run->Skip(1, 256);
    EXPECT_EQ(values(run, {u"ID"_s}), QVariantList{qlonglong(2)});
}

// The run's pattern: rewrite the indexed field record by record, committing as it goes.
TEST_P(VdbCursorTest, RewritingTheIndexedFieldNeitherSkipsNorRevisits) {
    for (const QString& index : {u"Tel"_s, u"NameId"_s, u"ID"_s}) {
        const DatabasePtr conn = fx.open(file);
        const TablePtr t = conn->Tables()->Item(u"T"_s);
        const auto transaction = conn->GetTransaction(0);
        t->Indexes()->Activate(index, 0);
        QList<qint64> seen;
        transaction->Begin(0);
        const FieldPtr id = t->Fields()->Item(u"ID"_s);
        for (t->MoveFirst(256); !t->Eof(); t->Skip(1, 256)) {
            seen << id->Value().toLongLong();
            // Moves the record to the end of every order, then back to the front.
            for (const QString& field : {u"Telefon"_s, u"Name"_s})
                t->Fields()->Item(field)->SetValue(seen.size() % 2 ? u"~"_s : u" "_s);
            id->SetValue(seen.size() % 2 ? 1000 - seen.size() : -seen.size());
            t->Update(256);
            transaction->Commit();
            transaction->Begin(0);
        }
        transaction->Commit();
        // Each record got a new, distinct ID: all five were seen once.
        EXPECT_EQ(QSet<qint64>(seen.begin(), seen.end()).size(), 5) << index.toStdString();
        EXPECT_EQ(seen.size(), 5) << index.toStdString();
    }
}

TEST_P(VdbCursorTest, ManyRecordsAcrossPagesWithBatchCommits) {
    QList<QVariantList> rows;
    for (int i = 0; i < 2000; ++i)
        rows << QVariantList{10000 - i, u"n"_s, QString(u"0"_s + QString::number(i))};
    fx.insert(file, u"T"_s, {u"ID"_s, u"Name"_s, u"Telefon"_s}, rows);
    // Without an index the visit pages through the row ids: every record, each once.
    const QList<qint64> plain = visit(table);
    EXPECT_EQ(QSet<qint64>(plain.begin(), plain.end()).size(), 2005);
    EXPECT_EQ(plain.size(), 2005);
    const auto transaction = db->GetTransaction(0);
    table->Indexes()->Activate(u"Tel"_s, 0);
    const FieldPtr tel = table->Fields()->Item(u"Telefon"_s);
    const FieldPtr id = table->Fields()->Item(u"ID"_s);
    QSet<qint64> seen;
    int n = 0;
    transaction->Begin(0);
    for (table->MoveFirst(256); !table->Eof(); table->Skip(1, 256)) {
        const qint64 value = id->Value().toLongLong();
        seen.insert(value);
        // Reading ahead past a page of the visit and coming back leaves the visit as it was.
        auto* marks = dynamic_cast<CursorMark*>(table.get());
        if (const auto place = marks && n % 7 == 0 ? marks->Mark() : nullptr) {
            table->Skip(300, 256);
            marks->Return(place);
            EXPECT_EQ(id->Value().toLongLong(), value);
        }
        tel->SetValue(QString(u"+"_s + QString::number(++n)));
        table->Update(256);
        if (n % 10 == 0) {
            transaction->Commit();
            transaction->Begin(0);
        }
    }
    transaction->Commit();
    EXPECT_EQ(n, 2005);
    EXPECT_EQ(seen.size(), 2005);
}

TEST_P(VdbCursorTest, EditBufferIsDroppedWhenTheCursorMoves) {
    table->Indexes()->Activate(u"ID"_s, 0);
    const FieldPtr name = table->Fields()->Item(u"Name"_s);
    table->MoveFirst(256);
    name->SetValue(u"changed"_s);
    EXPECT_EQ(name->Value(), QVariant(u"changed"_s));
    table->Skip(0, 256); // not a move
    EXPECT_EQ(name->Value(), QVariant(u"changed"_s));
    table->Skip(1, 256);
    table->MoveFirst(256);
    EXPECT_EQ(name->Value(), QVariant(u"a"_s));
    name->SetValue(u"again"_s);
    table->MoveFirst(256);
    EXPECT_EQ(name->Value(), QVariant(u"a"_s));
    table->Update(256); // nothing buffered: nothing written
    EXPECT_EQ(values(reopened(), {u"Name"_s}), QVariantList{u"a"_s});
}

TEST_P(VdbCursorTest, BrokenConditionFailsUpdateAndLeavesTheRecord) {
    table->Indexes()->Activate(u"ID"_s, 0);
    table->MoveFirst(256);
    table->Fields()->Item(u"Name"_s)->SetValue(u"new name"_s);
    table->Fields()->Item(u"Telefon"_s)->SetValue(u"+49 (30) 1234567"_s);
    const QString why = expectServerError([&] { table->Update(256); }, 0x1076);
    EXPECT_TRUE(why.contains(u"\"Telefon\""_s)) << why.toStdString();
    EXPECT_EQ(values(reopened(), {u"Name"_s, u"Telefon"_s}), (QVariantList{u"a"_s, u"030 1"_s}));
    // The cursor goes on; the next record stores fine.
    table->Skip(1, 256);
    table->Fields()->Item(u"Telefon"_s)->SetValue(u"short"_s);
    EXPECT_NO_THROW(table->Update(256));
}

TEST_P(VdbCursorTest, ValuesKeepTheirTypeAndNull) {
    table->Indexes()->Activate(u"ID"_s, 0);
    table->MoveFirst(0);
    table->Skip(1, 0); // ID 2: Telefon Null
    const QStringList all{u"ID"_s, u"Name"_s, u"Telefon"_s, u"Betrag"_s, u"Datum"_s};
    EXPECT_EQ(values(table, all), (QVariantList{qlonglong(2), u"c"_s, {}, {}, {}}));
    table->Skip(2, 0); // ID 4: Telefon empty, not Null
    EXPECT_EQ(values(table, all), (QVariantList{qlonglong(4), u"a"_s, u""_s, {}, {}}));
    const auto fields = table->Fields();
    const QString withBom = QChar(0xFEFF) + u"a"_s;
    fields->Item(u"Name"_s)->SetValue(withBom);
    fields->Item(u"Betrag"_s)->SetValue(u"12.5"_s);
    fields->Item(u"Datum"_s)->SetValue(QDate(2024, 3, 5));
    fields->Item(u"ID"_s)->SetValue(40.0);
    table->Update(0);
    fields->Item(u"Telefon"_s)->SetValue(QVariant());
    table->Update(0);
    EXPECT_EQ(values(reopened(4), all),
              (QVariantList{qlonglong(40), withBom, QVariant(), 12.5, QDate(2024, 3, 5)}));
}

// Bytes that are not UTF-8 come back as themselves and survive a write to another field.
TEST_P(VdbCursorTest, TextsThatAreNotUtf8ComeAsTheirBytes) {
    if (GetParam() != Backend::Vdb)
        GTEST_SKIP() << "a server database in UTF-8 stores no such bytes";
    db.reset();
    table.reset();
    // clang-format off
    const QByteArray stored[] = {"\xED\xA0\x80", "a\xFF", "\xC0\x80", "\xE2\x82"};
    // clang-format on
    for (const QByteArray& bytes : stored) {
        SCOPED_TRACE(bytes.toHex().toStdString());
        execRaw(file, u"UPDATE T SET Name = CAST(X'%1' AS TEXT) WHERE ID = 1"_s.arg(
                          QString::fromLatin1(bytes.toHex())));
        const TablePtr t = reopened();
        EXPECT_EQ(values(t, {u"Name"_s}), QVariantList{bytes});
        expectServerError([&] { t->Fields()->Item(u"Name"_s)->SetValue(u"x"_s); },
                          VdbCode::TypeMismatch);
        t->Fields()->Item(u"Telefon"_s)->SetValue(u"030 9"_s);
        t->Update(0);
        EXPECT_EQ(values(reopened(), {u"Name"_s}), QVariantList{bytes});
    }
}

TEST_P(VdbCursorTest, ValuesThatDoNotSuitTheFieldAreRefused) {
    table->MoveFirst(0);
    const auto fields = table->Fields();
    const std::pair<QString, QVariant> bad[] = {
        {u"ID"_s, u"12a"_s},
        {u"ID"_s, 1.5},
        {u"Betrag"_s, u"zwölf"_s},
        {u"Datum"_s, u"5.3.2024"_s},
        {u"Datum"_s, 17},
        {u"Name"_s, QVariant(QVariantList{1})},
        {u"Name"_s, QVariant(u"a"_s + QChar(u'\0') + u"b"_s)},
    };
    for (const auto& [field, value] : bad) {
        SCOPED_TRACE(field.toStdString());
        expectServerError([&] { fields->Item(field)->SetValue(value); }, VdbCode::TypeMismatch);
    }
    EXPECT_NO_THROW(fields->Item(u"ID"_s)->SetValue(u" 12 "_s));
    EXPECT_NO_THROW(fields->Item(u"Name"_s)->SetValue(42));
}

TEST_P(VdbCursorTest, NoCurrentRecordAtTheEdges) {
    const TablePtr fresh = fx.open(file)->Tables()->Item(u"T"_s);
    EXPECT_TRUE(fresh->Eof());
    expectServerError([&] { fresh->Fields()->Item(0)->Value(); }, VdbCode::NoCurrentRecord);
    fresh->Skip(1, 0);
    EXPECT_TRUE(fresh->Eof());
    fresh->MoveFirst(0);
    expectServerError([&] { fresh->Skip(-1, 0); }, VdbCode::InvalidArgument);
    fresh->Skip(99, 0);
    EXPECT_TRUE(fresh->Eof());
    expectServerError([&] { fresh->RecordId(); }, VdbCode::NoCurrentRecord);
    expectServerError([&] { fresh->Fields()->Item(0)->SetValue(1); }, VdbCode::NoCurrentRecord);
    expectServerError([&] { fresh->Update(0); }, VdbCode::NoCurrentRecord);
    const TablePtr empty =
        fx.open(fx.create(u"e"_s, schemaOf({tableOf(u"E"_s, {u"A"_s})})))->Tables()->Item(u"E"_s);
    empty->MoveFirst(0);
    EXPECT_TRUE(empty->Eof());
    EXPECT_EQ(empty->RecordCount(), 0);
}

TEST_P(VdbCursorTest, RecordIdsNameRecordsAndCursorsAreIndependent) {
    QSet<QString> ids;
    for (table->MoveFirst(0); !table->Eof(); table->Skip(1, 0))
        ids.insert(table->RecordId());
    EXPECT_EQ(ids.size(), 5);
    const TablePtr other = db->Tables()->Item(u"Other"_s);
    other->MoveFirst(0);
    table->MoveFirst(0);
    other->Skip(1, 0);
    EXPECT_EQ(values(other, {u"X"_s}) + values(table, {u"ID"_s}), (QVariantList{u"x2"_s, 3LL}));
}

INSTANTIATE_TEST_SUITE_P(Backends, VdbCursorTest, ::testing::Values(Backend::Vdb, Backend::Pg),
                         backendName);

} // namespace
