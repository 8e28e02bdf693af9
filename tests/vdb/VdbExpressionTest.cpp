#include "StringConversions.h"
#include "TestDatabases.h"
#include "VdbTestSupport.h"

#include <QDate>

using namespace Qt::StringLiterals;

namespace {

class VdbExpressionTest : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override {
        TableSchema customers = tableOf(u"Kunden"_s, {u"Name"_s, u"Ort"_s, u"Leer"_s});
        customers.fields << FieldSchema{u"Nr"_s, FieldType::Integer, {}}
                         << FieldSchema{u"Seit"_s, FieldType::Date, {}}
                         << FieldSchema{u"Wert"_s, FieldType::Real, {}};
        TableSchema awkward =
            tableOf(u"Contact persons"_s, {u"Mobile + phone"_s, u"select"_s, u"a->b"_s});
        const QString file = fx.create(u"x"_s, schemaOf({customers, awkward}));
        fx.insert(file, u"Kunden"_s, {u"Name"_s, u"Ort"_s, u"Nr"_s, u"Seit"_s, u"Wert"_s},
                  {{u"Meier"_s, u"Berlin"_s, 7, u"2024-03-05"_s, 1.0e300}});
        fx.insert(file, u"Contact persons"_s, {u"Mobile + phone"_s, u"select"_s, u"a->b"_s},
                  {{u"0171 1"_s, u"s"_s, u"ab"_s}});
        db = fx.open(file);
        for (const TablePtr& t : db->Tables())
            t->MoveFirst(0);
    }

    QVariant eval(const QString& text) { return db->Evaluator()->Compile(text, 0)->Evaluate(0); }

    TestDatabases fx{GetParam()};
    DatabasePtr db;
};

TEST_P(VdbExpressionTest, Values) {
    const std::pair<QString, QVariant> cases[] = {
        {u"  Kunden->Name + \", \" + Kunden->Ort  "_s, u"Meier, Berlin"_s},
        {u"[Kunden]->[Ort]"_s, u"Berlin"_s},
        {u"'it''s' + \"\"\"q\"\"\""_s, u"it's\"q\""_s},
        {u"1 + 2"_s, qlonglong(3)},
        {u"1.5 + 2"_s, 3.5},
        {u"Kunden->Nr + 1"_s, qlonglong(8)},
        {u"\"Nr \" + Kunden->Nr"_s, u"Nr 7"_s},
        {u"Kunden->Seit"_s, QDate(2024, 3, 5)},
        {u"\"seit \" + Kunden->Seit"_s, u"seit 2024-03-05"_s},
        {u"UPPER(Kunden->Name) + lower('X')"_s, u"MEIERx"_s},
        {u"LEFT(Kunden->Ort, 3) + RIGHT(Kunden->Ort, 2) + MID(Kunden->Ort, 2, 2)"_s, u"Beriner"_s},
        {u"LEN(TRIM('  ab  '))"_s, qlonglong(2)},
        {u"(\"a\" + (\"b\" + \"c\"))"_s, u"abc"_s},
        {u"Kunden->Name & Kunden->Leer & \"!\""_s, u"Meier!"_s},
        {u"Contact persons->Mobile + phone"_s, u"0171 1"_s},
        {u"[Contact persons]->[Mobile + phone] + [Contact persons]->select"_s, u"0171 1s"_s},
        {u"Contact persons->a->b"_s, u"ab"_s},
        {u"STR(12)"_s, u"12"_s},
        {u"Kunden->Leer"_s, QVariant()}, // Null goes through plus and functions
        {u"Kunden->Name + Kunden->Leer"_s, QVariant()},
        {u"UPPER(Kunden->Leer)"_s, QVariant()},
        // Counts beyond any length mean all the rest (or nothing, from a start beyond the end).
        // clang-format off
        {u"LEFT(Kunden->Ort, 1.0e300) & RIGHT(Kunden->Ort, Kunden->Wert)"_s, u"BerlinBerlin"_s},
        {u"MID(Kunden->Ort, 1.0e19, 2) & MID(Kunden->Ort, 2, 1.0e19) & LEFT('a', '1e300')"_s, u"erlina"_s},
        {u"LEFT(Kunden->Ort, '-1e300') & RIGHT(Kunden->Ort, 99999999999999999999.0) & '!'"_s, u"Berlin!"_s},
        // clang-format on
        {u"'"_s + QString(9998, u'x') + u"'"_s, QString(9998, u'x')},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(eval(text), expected) << text.toStdString();
}

TEST_P(VdbExpressionTest, BadTextsFailCompileWithThePosition) {
    const std::pair<QString, int> cases[] = {
        {u""_s, 1},
        {u"Kunden->Nope"_s, 9},
        {u"Nope->Name"_s, 1},
        {u"Kunden->Name +"_s, 15},
        {u"(Kunden->Name"_s, 14},
        {u"\"open"_s, 1},
        {u"Kunden"_s, 1},
        {u"LEFT('a')"_s, 1},
        {u"UPPER 'a'"_s, 7},
        {u"[Kunden->Name"_s, 1},
        {u"12x"_s, 1},
        {u"Kunden->Name )"_s, 14},
        {u"'"_s + QString(9999, u'x') + u"'"_s, 10001},
        {u"'->'"_s.repeated(500000), 10001},
        {QString(150, u'(') + u"1"_s + QString(150, u')'), 101}, // nested too deeply
        {u"1"_s + u" + 1"_s.repeated(600), 2003},                // too long
    };
    for (const auto& [text, position] : cases) {
        const QString description = expectServerError([&] { db->Evaluator()->Compile(text, 0); },
                                                      VdbCode::ExpressionSyntax);
        EXPECT_TRUE(description.startsWith(u"Syntax error at position "_s +
                                           QString::number(position) + u':'))
            << text.toStdString() << " -> " << description.toStdString();
    }
}

TEST_P(VdbExpressionTest, EvaluationFailures) {
    expectServerError([&] { eval(u"LEFT('abc', 'x')"_s); }, VdbCode::ExpressionValue);
    expectServerError([&] { eval(u"MID('abc', 0)"_s); }, VdbCode::ExpressionValue);
    const auto expression = db->Evaluator()->Compile(u"Kunden->Name"_s, 0);
    db->Tables()->Item(u"Kunden"_s)->Skip(1, 0);
    expectServerError([&] { expression->Evaluate(0); }, VdbCode::NoCurrentRecord);
}

TEST_P(VdbExpressionTest, SeesTheEditBufferOfTheSameTable) {
    db->Tables()->Item(u"Kunden"_s)->Fields()->Item(u"Name"_s)->SetValue(u"Schulz"_s);
    EXPECT_EQ(eval(u"Kunden->Name"_s), QVariant(u"Schulz"_s));
}

INSTANTIATE_TEST_SUITE_P(Backends, VdbExpressionTest, ::testing::Values(Backend::Vdb, Backend::Pg),
                         backendName);

} // namespace
