#include "Csv.h"
#include "DemoAbroad.h"
#include "DemoGenerator.h"
#include "TelnormerBatchFixture.h"

#include <QFile>
#include <QRegularExpression>

namespace {

// Customer records from many countries as users store them, each with the value the run must
// leave, and the report's reason and country (empty: not reported), byte for byte.
TEST_F(TelnormerBatchTest, RecordsFromManyCountriesReadAsTheirCountryDialsThem) {
    QFile cases(QStringLiteral(TELNORMER_COUNTRY_RECORDS));
    ASSERT_TRUE(cases.open(QIODevice::ReadOnly));
    CsvReader reader(cases);
    CsvRecord record;
    ASSERT_TRUE(reader.next(record)); // the header
    QList<QVariantList> rows;
    QStringList expected;
    QStringList reasons;
    while (reader.next(record)) {
        const QList<CsvCell>& c = record.cells;
        ASSERT_EQ(c.size(), 5) << record.line;
        rows << QVariantList{rows.size() + 1, u"K"_s, c[0].isNull() ? QVariant() : c[0].text,
                             c[1].text};
        expected << c[2].text;
        reasons << (c[3].text.isEmpty() ? QString() : c[3].text + u',' + c[4].text);
    }
    ASSERT_GE(rows.size(), 60);
    file = fx.create(u"abroad.vdb"_s, schemaOf({customersTable({u"Land"_s})}));
    VdbFixture::insert(file, u"Kunden"_s, {u"ID"_s, u"Name"_s, u"Land"_s, u"Telefon"_s}, rows);
    const QString report = fx.path(u"abroad.csv"_s);
    const BatchRun run = batch({u"--field"_s, u"Kunden"_s, u"Telefon"_s, u"--country-field"_s,
                                u"Kunden"_s, u"Land"_s, u"--uniform"_s, u"--report"_s, report});
    ASSERT_EQ(run.status, BatchStatus::Done) << run.err.toStdString();
    EXPECT_EQ(storedValues(file, u"Kunden"_s, u"Telefon"_s), expected);
    QStringList reported(rows.size());
    QFile written(report);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    CsvReader lines(written);
    ASSERT_TRUE(lines.next(record));
    while (lines.next(record))
        reported[record.cells[1].text.toInt() - 1] =
            record.cells[5].text + u',' + record.cells[6].text;
    EXPECT_EQ(reported, reasons);
}

// Country fields written to do harm: a forged log line, a huge text, an invisible mark, a
// calling code. The log and the report show them escaped and cut short; none is read as home.
TEST_F(TelnormerBatchTest, HostileCountryFieldsNeitherForgeLinesNorPassForHome) {
    const QString huge(100000, u'X');
    addSecond({{u"FR\r\nRecord: forged"_s, {}, u"0033 1 42 68 53 00"_s, {}},
               {huge, {}, u"0033 1 42 68 53 01"_s, {}},
               {u"\u200fFR"_s, {}, u"01 42 68 53 02"_s, {}},
               {u"+49"_s, {}, u"030 1234567"_s, {}}});
    EXPECT_EQ(batch({u"--field"_s, u"Zweite"_s, u"Notiz"_s, u"--country-field"_s, u"Zweite"_s,
                     u"Notiz"_s})
                  .status,
              BatchStatus::Usage);
    const QString report = fx.path(u"hostile.csv"_s);
    const BatchRun run = batch({u"--field"_s, u"Zweite"_s, u"Telefon"_s, u"--country-field"_s,
                                u"Zweite"_s, u"Notiz"_s, u"--report"_s, report});
    ASSERT_EQ(run.status, BatchStatus::Done) << run.err.toStdString();
    EXPECT_EQ(storedValues(file, u"Zweite"_s, u"Telefon"_s),
              (QStringList{u"+33 (1) 42685300"_s, u"+33 (1) 42685301"_s, u"+33 (1) 42685302"_s,
                           u"030 1234567"_s}));
    const QByteArray log = readFile(run.outcome.logPath);
    EXPECT_FALSE(log.contains("\r\nRecord: forged"));
    EXPECT_TRUE(log.contains("\r\nCountry: FR\\r\\nRecord: forged\r\n"));
    const QByteArray cut = "\r\nCountry: " + QByteArray(40, 'X') + "\xE2\x80\xA6\r\n";
    EXPECT_TRUE(log.contains(cut));
    EXPECT_FALSE(log.contains(QByteArray("Country: ").append(41, 'X')));
    EXPECT_TRUE(readFile(report).endsWith(",030 1234567,unknown-country,'+49\r\n"));
}

// The demo's customers abroad: with the country field every national number gets its country's
// code; without it none does (left as it was or read as German). Numbers written with a country
// code, and every German customer's, come out the same either way.
TEST_F(TelnormerBatchTest, DemoCustomersAbroadAreReadInTheirCountryOnlyWithTheField) {
    constexpr quint64 kSeed = 5;
    const QString pristine = fx.path(u"demo.vdb"_s);
    createDemoDatabase(pristine, DemoOptions{600, kSeed});
    const QHash<QString, QString> codes{
        {u"AT"_s, u"+43 "_s}, {u"CH"_s, u"+41 "_s}, {u"FR"_s, u"+33 "_s}, {u"NL"_s, u"+31 "_s},
        {u"IT"_s, u"+39 "_s}, {u"PL"_s, u"+48 "_s}, {u"US"_s, u"+1 "_s},  {u"GB"_s, u"+44 "_s}};
    const QStringList fields{u"Telefon"_s, u"Telefax"_s, u"Mobil"_s};
    QStringList args;
    for (const QString& field : fields)
        args << u"--field"_s << DemoTable::Customers << field;
    QList<QString> runs;
    for (const bool country : {true, false}) {
        file = fx.path(country ? u"with.vdb"_s : u"without.vdb"_s);
        ASSERT_TRUE(QFile::copy(pristine, file));
        const BatchRun run = batch(
            country ? args + QStringList{u"--country-field"_s, DemoTable::Customers, u"Land"_s}
                    : args);
        ASSERT_EQ(run.status, BatchStatus::Done) << run.err.toStdString();
        runs << file;
    }
    const QRegularExpression digit(u"[0-9]"_s);
    int abroad = 0;
    int national = 0;
    for (const QString& field : fields) {
        const QStringList before = storedValues(pristine, DemoTable::Customers, field);
        const QStringList with = storedValues(runs[0], DemoTable::Customers, field);
        const QStringList without = storedValues(runs[1], DemoTable::Customers, field);
        for (qsizetype i = 0; i < before.size(); ++i) {
            const QString region = demoCustomerCountry(kSeed, static_cast<quint64>(i)).region;
            abroad += field == fields[0] && region != u"DE"_s;
            const bool written = before[i].startsWith(u'+') || before[i].startsWith(u"00"_s);
            if (region == u"DE"_s || written || !before[i].contains(digit)) {
                EXPECT_EQ(with[i], without[i]) << before[i].toStdString();
                continue;
            }
            ++national;
            EXPECT_TRUE(with[i].startsWith(codes.value(region, u"?"_s))) << with[i].toStdString();
            EXPECT_FALSE(without[i].startsWith(codes.value(region))) << without[i].toStdString();
        }
    }
    EXPECT_GT(abroad, 90); // a fifth of 600
    EXPECT_LT(abroad, 150);
    EXPECT_GT(national, 150);
}

} // namespace
