#include "ChangeLog.h"
#include "ComponentFactory.h"
#include "ConversionRun.h"
#include "IndexChoice.h"
#include "NumberFormatting.h"
#include "ProgressView.h"
#include "ScriptedMessageBoxes.h"
#include "StringConversions.h"
#include "StringTable.h"
#include "VdbFixture.h"

#include <QFile>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

class SilentProgress : public ProgressView {
public:
    void setBusy(bool) override {}
    void setStatus(const QString&) override {}
    void setProgressMaximum(int) override {}
    void setProgressValue(int) override {}
    void repaintProgress() override {}
    void repaintWindow() override {}
};

struct Outcome {
    QStringList stored;
    QByteArray log;
    RunResult result;
};

// Repeats, words, a value too long to keep its words, faxes that break their field's condition.
Outcome convert(const QString& folderName, int threads) {
    VdbFixture fx;
    TableSchema customers = tableOf(u"Kunden"_s, {u"Name"_s, u"Telefon"_s, u"Mobil"_s});
    customers.fields << textField(u"Telefax"_s, u"length(\"Telefax\") <= 16"_s);
    const QString file = fx.create(folderName, schemaOf({customers}));
    QList<QVariantList> rows;
    for (int i = 0; i < 250; ++i) {
        const QString n = QString::number(2000000 + i * 7919 % 900000);
        const QString phones[] = {u"030 "_s + n,    u"Tel. 0221/"_s + n + u" privat"_s, n, u"n/a"_s,
                                  u"030 2000000"_s, u"+1 (425) 555-"_s + n.right(4)};
        rows << QVariantList{QString(u"K"_s + QString::number(i)), phones[i % 6],
                             i == 17 ? QString(u"0171 1 "_s + QString(40000, u'x'))
                                     : QString(u"0043 664 "_s + n),
                             i % 7 == 0 ? u"0221 12345678-12"_s : QString(u"030 "_s + n + u"-9"_s)};
    }
    VdbFixture::insert(file, u"Kunden"_s, {u"Name"_s, u"Telefon"_s, u"Mobil"_s, u"Telefax"_s},
                       rows);
    DatabasePtr database = VdbFixture::open(file);
    ScriptedMessageBoxes boxes;
    boxes.expect(MsgAnswer::No);
    SilentProgress progress;
    ChangeLog log{QLocale(QLocale::German, QLocale::Germany)};
    KanonicalFormatter formatter(ComponentFactory::withDefaults(), database);
    RunServices services{database,
                         boxes,
                         progress,
                         log,
                         formatter,
                         [] { return QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9)); },
                         [](const QString&) { return true; },
                         [&](Table& t) { return GetIndexName(t, boxes); },
                         [&](Table& t) {
                             return GetItem(t, boxes);
                         }};
    services.formatThreads = threads;
    Outcome outcome;
    outcome.result =
        ConversionRun(
            services,
            {{u"Kunden"_s, u"Telefon"_s}, {u"Kunden"_s, u"Mobil"_s}, {u"Kunden"_s, u"Telefax"_s}},
            false)
            .run();
    const TablePtr table = VdbFixture::open(file)->Tables()->Item(u"Kunden"_s);
    for (table->MoveFirst(0); !table->Eof(); table->Skip(1, 0)) {
        for (const QString& field : {u"Telefon"_s, u"Mobil"_s, u"Telefax"_s})
            outcome.stored << table->Fields()->Item(field)->Value().toString();
    }
    QFile written(log.path());
    outcome.log = written.open(QIODevice::ReadOnly) ? written.readAll() : QByteArray();
    return outcome;
}

TEST(ConversionThreads, EveryCoreStoresLogsAndCountsWhatOneThreadDoes) {
    setUiLanguageOverride(UiLanguage::English);
    const Outcome one = convert(u"Kunden.vdb"_s, 1);
    // "030 2000000" 42 times, the fax "0221 12345678-12" 36 times.
    EXPECT_EQ(one.result.remembered, 41 + 35);
    EXPECT_GE(one.result.notStored, 36); // every seventh fax breaks its condition
    EXPECT_EQ(one.result.unreadableBy[static_cast<size_t>(Unreadable::TooLong)], 1);
    ASSERT_FALSE(one.log.isEmpty());
    const Outcome four = convert(u"Kunden.vdb"_s, 4);
    EXPECT_EQ(four.stored, one.stored);
    EXPECT_EQ(four.log, one.log);
    EXPECT_EQ(four.result.converted, one.result.converted);
    EXPECT_EQ(four.result.notStored, one.result.notStored);
    EXPECT_EQ(four.result.unreadableBy, one.result.unreadableBy);
    EXPECT_EQ(four.result.remembered, one.result.remembered);
    setUiLanguageOverride(std::nullopt);
}

} // namespace
