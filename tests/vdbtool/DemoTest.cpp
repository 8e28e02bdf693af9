#include "DemoGenerator.h"
#include "StringConversions.h"
#include "VdbFixture.h"
#include "VdbToolTestSupport.h"

#include <QDir>
#include <QRegularExpression>
#include <QSet>

using namespace Qt::StringLiterals;

namespace {

const QStringList kTables{u"Kunden"_s, u"Lieferanten"_s, u"Ansprechpartner"_s};

QString makeDemo(VdbFixture& fx, const QString& name, const QStringList& options) {
    const QString file = fx.path(name);
    const ProcessResult result = runTool(QStringList{u"demo"_s, file} + options);
    EXPECT_TOOL_OK(result);
    return file;
}

QString exportAll(const QString& file) {
    QString all;
    for (const QString& table : kTables)
        all += exportTable(file, table);
    return all;
}

TEST(Demo, SameSeedSameDataOtherSeedOtherData) {
    VdbFixture fx;
    const QString a = makeDemo(fx, u"a.vdb"_s, {u"--records"_s, u"300"_s, u"--seed"_s, u"42"_s});
    const QString b = makeDemo(fx, u"b.vdb"_s, {u"--seed=42"_s, u"--records=300"_s});
    const QString c = makeDemo(fx, u"c.vdb"_s, {u"--records"_s, u"300"_s, u"--seed"_s, u"43"_s});
    const QString exportA = exportAll(a);
    EXPECT_EQ(exportA.count(u"\r\n"_s), 3 * 301);
    EXPECT_EQ(exportA, exportAll(b));
    EXPECT_NE(exportA, exportAll(c));
    // Only the draft's own folder may have been used: nothing else is left behind.
    EXPECT_EQ(QDir(fx.folder()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              (QStringList{u"a.vdb"_s, u"b.vdb"_s, u"c.vdb"_s}));
}

// Values with digits that repeat an earlier one, over every telephone field.
double repeatedShare(const QString& file) {
    QSet<QString> seen;
    qsizetype numbers = 0;
    qsizetype repeats = 0;
    for (const DemoPhoneFields& table : demoPhoneFields()) {
        for (const QString& field : table.fields) {
            for (const QString& text : storedValues(file, table.table, field)) {
                if (!text.contains(QRegularExpression(u"[0-9]"_s)))
                    continue;
                ++numbers;
                repeats += seen.contains(text);
                seen.insert(text);
            }
        }
    }
    return double(repeats) / double(numbers);
}

TEST(Demo, OpensAsAdminWithTheDataAsked) {
    VdbFixture fx;
    const QString file = makeDemo(fx, u"demo.vdb"_s, {u"--records"_s, u"500"_s});
    // The fax condition holds now but not for every canonical value.
    const QRegularExpression national(u"^0[1-9][0-9]* [0-9]+(-[0-9]+)?$"_s);
    int breaking = 0;
    for (const QString& text : storedValues(file, u"Kunden"_s, u"Telefax"_s)) {
        EXPECT_LE(text.size(), 20) << text.toStdString();
        // "0AREA SUBSCRIBER-EXT" becomes "+49 (AREA) SUBSCRIBER-EXT": five characters longer.
        breaking += national.match(text).hasMatch() && text.size() + 5 > 20;
    }
    EXPECT_GE(breaking, 5);
    EXPECT_ANY_THROW(
        VdbFixture::insert(file, u"Kunden"_s, {u"Telefax"_s}, {{u"+49 (221) 12345678-123"_s}}));
    const DatabasePtr db = VdbFixture::open(file, u"ADMIN"_s, u"admin"_s, 0x30010);
    auto* place = dynamic_cast<TelephoneLocation*>(db.get());
    ASSERT_NE(place, nullptr);
    EXPECT_EQ(place->LocationCountry() + place->LocationAreaCode(), u"DE30"_s);
    QStringList marked; // every 7th where an ID can name them
    for (const TablePtr& table : db->Tables()) {
        EXPECT_EQ(table->RecordCount(), 500);
        marked << QString::number(table->MarkedCount());
    }
    EXPECT_EQ(marked, (QStringList{u"71"_s, u"71"_s, u"0"_s}));
    const TablePtr customers = db->Tables()->Item(u"Kunden"_s);
    customers->MoveFirst(0);
    const QString item = customers->Properties()->Item(u"ItemExpression"_s)->Value().toString();
    const QString shown = db->Evaluator()->Compile(item, 0)->Evaluate(0).toString();
    EXPECT_TRUE(shown.contains(u", "_s)) << shown.toStdString();
    const double share = repeatedShare(file); // about one value with digits in nine
    EXPECT_GT(share, 0.08);
    EXPECT_LT(share, 0.16);
    const QString unique = makeDemo(fx, u"unique.vdb"_s,
                                    {u"--records"_s, u"500"_s, u"--unique"_s, u"--seed"_s, u"3"_s});
    EXPECT_EQ(repeatedShare(unique), 0.0);
}

TEST(Demo, RefusesAnExistingFileAndLeavesNothingOnFailure) {
    VdbFixture fx;
    const QString file = fx.path(u"kunden.vdb"_s);
    writeFile(file, "the only copy");
    const ProcessResult exists = runTool({u"demo"_s, file, u"--records"_s, u"5"_s});
    EXPECT_EQ(exists.status, 1);
    EXPECT_TRUE(exists.err.contains(u"exists"_s));
    EXPECT_EQ(readFile(file), QByteArray("the only copy"));
    const ProcessResult noFolder = runTool({u"demo"_s, fx.path(u"none/demo.vdb"_s)});
    EXPECT_EQ(noFolder.status, 1);
    EXPECT_EQ(QDir(fx.folder()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{u"kunden.vdb"_s});
}

} // namespace
