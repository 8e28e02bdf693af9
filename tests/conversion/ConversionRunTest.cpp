#include "ConversionRun.h"
#include "AppTitle.h"
#include "ChangeLog.h"
#include "ComponentFactory.h"
#include "FaultyDatabase.h"
#include "GlobalDefs.h"
#include "IndexChoice.h"
#include "MessageBoxPrinting.h"
#include "NumberFormatting.h"
#include "ProgressView.h"
#include "ScriptedMessageBoxes.h"
#include "StringConversions.h"
#include "StringTable.h"
#include "TestProcess.h"
#include "VdbAdmin.h"
#include "VdbFixture.h"
#include "WatchedComponent.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

const QDateTime kNow(QDate(2024, 3, 5), QTime(14, 7, 9));
const QString kNothingLeft =
    u"0 value(s) could not be stored, 0 value(s) were left unchanged because they could not be read."_s;
const QString kOutOfMemory = u"Error 7\r\nOut of memory\r\nDo you want to cancel?"_s;

// Records what the run shows, and that the busy pointer is set and restored in pairs.
class RecordingProgress : public ProgressView {
public:
    void setBusy(bool busy) override {
        depth += busy ? 1 : -1;
        EXPECT_GE(depth, 0);
        EXPECT_LE(depth, 1);
    }
    void setStatus(const QString& text) override { statuses << text; }
    void setProgressMaximum(int maximum) override { this->maximum = maximum; }
    void setProgressValue(int value) override { values << value; }
    void repaintProgress() override {}
    void repaintWindow() override {}

    int depth = 0;
    int maximum = -1;
    QStringList statuses;
    QList<int> values;
};

class ConversionRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        setUiLanguageOverride(UiLanguage::English);
        schema = schemaOf({customersTable(), tableOf(u"Notizen"_s, {u"Text"_s}),
                           tableOf(u"Ohne"_s, {u"Name"_s, u"Telefon"_s})});
        file = fx.create(u"Kunden.vdb"_s, schema);
        factory.registerCreator(kPhoneApplicationName, [this]() -> std::shared_ptr<PhoneComponent> {
            ++componentsMade;
            return std::make_shared<WatchedComponent>(failingValue, [this](const QString& value) {
                completed << value;
                if (value == stopAt && current)
                    current->requestStop();
            });
        });
    }
    void TearDown() override { setUiLanguageOverride(std::nullopt); }

    // A fresh database file with n customers whose Telefon (and Mobil, with mobiles) is national.
    void freshCustomers(const QString& name, int n, bool mobiles = false) {
        file = fx.create(name + u".vdb"_s, schema);
        log.close(); // a new window's log for the new database
        addNumberedCustomers(n, mobiles);
    }
    void addCustomers(const QList<QVariantList>& rows) {
        VdbFixture::insert(file, u"Kunden"_s,
                           {u"ID"_s, u"Name"_s, u"Telefon"_s, u"Telefax"_s, u"Mobil"_s}, rows);
    }
    void addNumberedCustomers(int n, bool mobiles = false) {
        QList<QVariantList> rows;
        for (int i = 1; i <= n; ++i)
            rows << QVariantList{i, QString(u"K"_s + QString::number(i)),
                                 QString(u"030 "_s + QString::number(1000000 + i)), QVariant(),
                                 mobiles ? QVariant(u"0171 "_s + QString::number(1000000 + i))
                                         : QVariant()};
        addCustomers(rows);
    }

    // One run, as the window starts it, on a fresh connection.
    RunResult run(const QList<FieldPair>& chosen, bool onlyMarked = false, FaultHook fault = {}) {
        database = VdbFixture::open(file);
        if (fault)
            database = faultyDatabase(database, fault);
        KanonicalFormatter formatter(factory, database);
        RunServices services{database,
                             boxes,
                             progress,
                             log,
                             formatter,
                             [] { return kNow; },
                             [this](const QString& path) {
                                 viewed << path;
                                 return viewerWorks;
                             },
                             [this](Table& t) { return GetIndexName(t, boxes); },
                             [this](Table& t) {
                                 return GetItem(t, boxes);
                             }};
        // Told once committed: whatever failed, each value stored is told once, no other.
        QStringList told;
        services.convertedFound = [&told](QList<UnreadableValue>&& values) {
            for (const UnreadableValue& value : values)
                told << value.table + value.key + u'|' + value.field;
        };
        ConversionRun conversion(services, chosen, onlyMarked);
        current = &conversion;
        const RunResult result = conversion.run();
        current = nullptr;
        EXPECT_EQ(told.size(), result.converted);
        EXPECT_EQ(told.size(), QSet<QString>(told.cbegin(), told.cend()).size());
        EXPECT_FALSE(formatter.hasComponent());
        EXPECT_EQ(progress.depth, 0);
        return result;
    }

    // The stored values of a Kunden field, in ID order.
    QStringList stored(const QString& field) {
        return storedValues(file, u"Kunden"_s, field, u"ID"_s);
    }
    // "+" for every converted value of the field, "-" for every other.
    QString convertedPattern(const QString& field) {
        QString pattern;
        for (const QString& value : stored(field))
            pattern += value.startsWith(u"+49"_s) ? u'+' : u'-';
        return pattern;
    }

    // records < 0: one value a record.
    void expectSummary(qint32 converted, MsgAnswer answer = MsgAnswer::No,
                       const QString& second = kNothingLeft, qint32 records = -1) {
        boxes.expect(answer);
        expectedSummary = QString::number(converted) + u" record(s) converted.\r\n"_s +
                          recordsLine(converted, records < 0 ? converted : records) + u"\r\n"_s +
                          second + u"\r\nShow log?"_s;
    }
    static QString recordsLine(qint32 values, qint32 records) {
        return u"That is %1 value(s) in %2 record(s)."_s.arg(values).arg(records);
    }
    void checkSummary(MsgIcon icon = MsgIcon::Information) {
        const MessageBoxRequest expected{expectedSummary, AppTitle(), icon, MsgButtons::YesNo,
                                         MsgAnswer::Yes};
        EXPECT_EQ(boxes.last(), expected);
    }

    VdbFixture fx;
    DatabaseSchema schema;
    QString file;
    DatabasePtr database;
    ScriptedMessageBoxes boxes;
    RecordingProgress progress;
    ChangeLog log{QLocale(QLocale::German, QLocale::Germany)};
    ComponentFactory factory;
    int componentsMade = 0;
    QString failingValue;
    QStringList completed;
    QStringList viewed;
    bool viewerWorks = true;
    ConversionRun* current = nullptr;
    QString stopAt; // the value at whose formatting the user asks to stop
    QString expectedSummary;
};

const FieldPair kTelefon{u"Kunden"_s, u"Telefon"_s};
const FieldPair kTelefax{u"Kunden"_s, u"Telefax"_s};
const FieldPair kMobil{u"Kunden"_s, u"Mobil"_s};

TEST_F(ConversionRunTest, FirstRunLogsExactlyAndConvertsWhatChanges) {
    addCustomers({{1, u"Meier"_s, u"030 1234567"_s, QVariant(), u"0171 1234567"_s},
                  {2, u"Schulz"_s, u"Tel. 030 7654321 privat"_s, u"+49 (30) 555"_s, u""_s},
                  {3, u"Lang"_s, u"+49 30 1234567"_s, u"-030 1"_s, u"keine"_s},
                  {4, u"Zero"_s, u"0"_s, u"-"_s, QVariant()}});
    const QString oneLeft =
        u"0 value(s) could not be stored, 1 value(s) were left unchanged because they could not be read."_s;
    expectSummary(3, MsgAnswer::Yes, oneLeft, 2);
    const RunResult result = run({kTelefon, kMobil, kTelefax});
    checkSummary();
    EXPECT_EQ(result.converted, 3);
    EXPECT_EQ(result.total, 4);
    EXPECT_FALSE(result.stopped);
    EXPECT_EQ(stored(u"Telefon"_s),
              (QStringList{u"+49 (30) 1234567"_s, u"Tel. +49 (30) 7654321 privat"_s,
                           u"+49 30 1234567"_s, u"0"_s}));
    EXPECT_EQ(stored(u"Mobil"_s),
              (QStringList{u"+49 (171) 1234567"_s, u""_s, u"keine"_s, u"<null>"_s}));
    const QByteArray expected =
        "05.03.24 14:07:09\r\n"
        "\r\nTable: Kunden\r\nReplace in fields:\r\nTelefon\r\nMobil\r\nTelefax\r\n\r\n"
        "\r\nRecord: Meier\r\nID: 1\r\n"
        "Field Telefon: 030 1234567 -> +49 (30) 1234567\r\n"
        "Field Mobil: 0171 1234567 -> +49 (171) 1234567\r\n"
        "\r\nRecord: Schulz\r\nID: 2\r\n"
        "Field Telefon: Tel. 030 7654321 privat -> Tel. +49 (30) 7654321 privat\r\n"
        "\r\n3 record(s) converted.\r\nThat is 3 value(s) in 2 record(s).\r\n" +
        oneLeft.toUtf8() +
        "\r\nLeft unchanged because they could not be read: 1 (no valid number: 1)";
    EXPECT_EQ(readFile(log.path()), expected);
    EXPECT_EQ(viewed, QStringList{log.path()});
    // Only "0" of the values without a digit to keep or with a dash in front reaches the
    // component; canonical ones differing only in grouping, empty and Null ones never do.
    EXPECT_EQ(completed, (QStringList{u"030 1234567"_s, u"0171 1234567"_s,
                                      u"Tel. 030 7654321 privat"_s, u"0"_s}));
    EXPECT_EQ(componentsMade, 1);
}

// Batches of one record below 100 records, of ten from 100 on; the last batch closes at the end.
TEST_F(ConversionRunTest, BatchCadence) {
    for (const int records : {99, 100, 105}) {
        SCOPED_TRACE(records);
        freshCustomers(u"cadence"_s + QString::number(records), records);
        progress = RecordingProgress{};
        int commits = 0;
        int begins = 0;
        expectSummary(records);
        run({kTelefon}, false, [&](const QString& operation) {
            commits += operation == u"Transaction.Commit"_s;
            begins += operation == u"Transaction.Begin"_s;
        });
        const int reports = records < 100 ? records : records / 10 + (records % 10 ? 1 : 0);
        EXPECT_EQ(progress.maximum, records);
        EXPECT_EQ(commits, reports + 1); // and the last one at the end
        EXPECT_EQ(begins, reports + 1);
        ASSERT_EQ(progress.values.size(), reports + 1);
        EXPECT_EQ(progress.values[0], records < 100 ? 1 : 10);
        EXPECT_EQ(progress.values[reports - 1], records);
        EXPECT_EQ(progress.values.last(), 0);
        EXPECT_EQ(progress.statuses[reports - 1],
                  u"Checking records in table Kunden, %1 from %1 records checked."_s.arg(records));
        EXPECT_EQ(progress.statuses.last(),
                  QString::number(records) + u" record(s) converted.  "_s +
                      recordsLine(records, records) + u"  "_s + kNothingLeft);
    }
}

// A fault on the nth call of one operation of the database (or the log closed under the run
// there). Three customers with Telefon and Mobil; every question is answered "go on".
struct FaultCase {
    const char* operation;
    int nth;
    bool closeLog; // instead of throwing "Out of memory"
    int questions;
    qint32 converted, notStored;
    const char *telefon, *mobil; // which values the database holds converted
    const char *logHas, *logLacks;
    qint32 number = 7; // a lost connection ends the run at once, asking nothing
};

// clang-format off
const FaultCase kFaults[] = {
    {"Field.Value:Kunden.Telefon", 2, false, 1, 5, 0, "+-+", "+++", "ID: 2\r\nField Mobil: 0171 1000002 -> ", "030 1000002 ->"},
    {"Field.SetValue:Kunden.Telefon", 2, false, 1, 5, 1, "+-+", "+++", "ID: 2\r\nField Mobil: 0171 1000002 -> ", "030 1000002 ->"},
    {"Field.SetValue:Kunden.Mobil", 3, false, 1, 5, 1, "+++", "++-", "Field Telefon: 030 1000003 -> +49 (30) 1000003\r\n\r\nError 7", "0171 1000003 ->"},
    {"Table.Update:Kunden", 2, false, 1, 4, 2, "+-+", "+-+", "Field Mobil: 0171 1000002 -> +49 (171) 1000002\r\n\r\nError 7 - Out of memory\r\n\r\nRecord: K3", "rolled back"},
    {"Field.SetValue:Kunden.Telefon", 3, true, 5, 4, 2, "++-", "++-", "ID: 2\r\nField Telefon: 030 1000002 -> +49 (30) 1000002\r\nField Mobil: 0171 1000002 -> +49 (171) 1000002\r\n", "K3"},
    {"Database.GetTransaction", 1, false, 1, 6, 0, "+++", "+++", "\r\nError 7 - Out of memory\r\n\r\nTable: Kunden", "Error 7 - Out of memory\r\n\r\nRecord"},
    {"Transaction.Commit", 2, false, 1, 4, 2, "+-+", "+-+", "Error 7 - Out of memory\r\nThe 2 value(s) of this batch were not stored: the batch was undone.\r\n\r\nRecord: K3", "rolled back"},
    {"Transaction.Begin", 2, false, 1, 6, 0, "+++", "+++", "Error 7 - Out of memory\r\n\r\nRecord: K2", "rolled back"},
    {"Table.Update:Kunden", 2, false, 0, 2, 2, "+--", "+--", "Error 8004104B - Out of memory\r\nThe connection to the database server was lost; the run ends here. The 2 value(s) of the open batch were not stored.\r\n", "K3", kConnectionLostNumber},
    {"Transaction.Commit", 2, false, 0, 2, 2, "+--", "+--", "The 2 value(s) of the open batch were not stored.", "K3", kConnectionLostNumber},
    {"Field.Value:Kunden.Mobil", 2, false, 0, 2, 1, "+--", "+--", "The 1 value(s) of the open batch were not stored.", "Mobil: 0171 1000002", kConnectionLostNumber},
    {"Transaction.Commit", 2, false, 0, 2, 0, "+--", "+--", "may or may not have stored the 2 value(s)", "K3", kCommitUnknownNumber},
};
// clang-format on

// A value that did not reach the database, or reached it without its log line, is not counted as
// converted; the run asks whether to stop and goes on with the next value.
TEST_F(ConversionRunTest, FaultsAreAskedAboutAndCountedAsNotStored) {
    for (const FaultCase& c : kFaults) {
        SCOPED_TRACE(c.operation);
        freshCustomers(u"fault"_s + QString::number(&c - kFaults), 3, true);
        for (int i = 0; i < c.questions; ++i)
            boxes.expect(MsgAnswer::No);
        boxes.expect(MsgAnswer::No); // the summary
        const size_t before = boxes.shown().size();
        int calls = 0;
        const RunResult result = run({kTelefon, kMobil}, false, [&](const QString& operation) {
            if (operation != QString::fromLatin1(c.operation) || ++calls != c.nth)
                return;
            if (c.closeLog)
                log.close();
            else
                throw ErrorRecord(c.number, u"Out of memory"_s);
        });
        EXPECT_EQ(result.stopped, c.number != 7);
        EXPECT_EQ(result.converted, c.converted);
        EXPECT_EQ(result.notStored, c.notStored);
        ASSERT_EQ(boxes.shown().size(), before + c.questions + 1);
        EXPECT_TRUE(boxes.shown()[before].text.startsWith(
            c.closeLog      ? u"Error 5B\r\n"_s
            : c.number == 7 ? kOutOfMemory
                            : u"Error "_s + HexNumber(c.number) + u"\r\nOut of memory\r\nThe"_s));
        EXPECT_EQ(boxes.last().icon, c.number != 7     ? MsgIcon::Stop
                                     : c.notStored > 0 ? MsgIcon::Exclamation
                                                       : MsgIcon::Information);
        EXPECT_EQ(convertedPattern(u"Telefon"_s), QString::fromLatin1(c.telefon));
        EXPECT_EQ(convertedPattern(u"Mobil"_s), QString::fromLatin1(c.mobil));
        const QByteArray text = readFile(log.path());
        EXPECT_TRUE(text.contains(c.logHas)) << text.toStdString();
        EXPECT_FALSE(text.contains(c.logLacks)) << text.toStdString();
        // The journal holds every stored change (and those that may be) and nothing else.
        EXPECT_EQ(RunJournal::read(RunJournal::pathFor(log.path())).size(),
                  c.converted + (c.number == kCommitUnknownNumber ? 2 : 0));
    }
}

// A refused value costs its record only itself: the others are stored, the log lists it alone.
// Another failure while they are stored one by one (go on) costs that value only.
TEST_F(ConversionRunTest, ValidationFailureKeepsTheRecordsOtherValues) {
    for (const int failing : {0, 2}) {
        freshCustomers(u"refused"_s + QString::number(failing), 0);
        // Telefax holds 16 characters: its canonical form breaks the condition.
        addCustomers({{1, u"Voll"_s, u"030 1111111"_s, u"030 22222-333333"_s, u"0171 3333333"_s},
                      {2, u"Gut"_s, u"030 4444444"_s, u"030 22222-444444"_s, QVariant()}});
        if (failing)
            boxes.expect(MsgAnswer::No);
        expectSummary(
            3 - failing / 2, MsgAnswer::No,
            QString::number(2 + failing / 2) +
                u" value(s) could not be stored, 0 value(s) were left unchanged because they could not be read."_s,
            2);
        int updates = 0;
        const RunResult result = run({kTelefon, kTelefax, kMobil}, false, [&](const QString& op) {
            if (op == u"Table.Update:Kunden"_s && ++updates == failing)
                throw ErrorRecord(7, u"Out of memory"_s);
        });
        checkSummary(MsgIcon::Exclamation);
        EXPECT_EQ(result.notStored, 2 + failing / 2);
        EXPECT_EQ(stored(u"Telefon"_s),
                  (QStringList{failing ? u"030 1111111"_s : u"+49 (30) 1111111"_s,
                               u"+49 (30) 4444444"_s}));
        EXPECT_EQ(stored(u"Telefax"_s),
                  (QStringList{u"030 22222-333333"_s, u"030 22222-444444"_s}));
        EXPECT_EQ(stored(u"Mobil"_s), (QStringList{u"+49 (171) 3333333"_s, u"<null>"_s}));
        EXPECT_TRUE(readFile(log.path())
                        .contains(" wurde nicht geändert:\r\nField Telefax: 030 22222-333333\r\n"
                                  "\r\n\r\nRecord: Gut\r\n"));
        EXPECT_EQ(RunJournal::read(RunJournal::pathFor(log.path())).size(), 3 - failing / 2);
    }
}

// 150 records, batches of ten; at a value the component fails or the user asks to stop. After
// an error the open batch is kept or rolled back; after the user's stop the run is kept or undone.
struct StopCase {
    const char* name;
    bool byError;
    int at;
    MsgAnswer stop, second; // second: roll back or undo; Ok when not asked
    qint32 converted, stored;
    const char* logEnd;
};

// clang-format off
const StopCase kStops[] = {
    {"ErrorRollback", true, 15, MsgAnswer::Yes, MsgAnswer::Yes, 10, 10, "\r\nError 7 - Out of memory\r\nChanges were rolled back!\r\n"},
    {"ErrorRollbackNothingOpen", true, 11, MsgAnswer::Yes, MsgAnswer::Yes, 10, 10, "\r\nError 7 - Out of memory\r\n"},
    {"ErrorKeep", true, 15, MsgAnswer::Yes, MsgAnswer::No, 14, 14, "\r\nError 7 - Out of memory\r\n"},
    {"ErrorGoOn", true, 15, MsgAnswer::No, MsgAnswer::Ok, 149, 149, "could not be read."},
    {"RequestUndo", false, 15, MsgAnswer::Yes, MsgAnswer::Yes, 15, 0, "\r\n0 conflict(s): values changed since the run were left as they are."},
    {"RequestKeep", false, 15, MsgAnswer::Yes, MsgAnswer::No, 15, 15, "\r\nStopped by the user.\r\n\r\n15 record(s) converted.\r\nThat is 15 value(s) in 15 record(s).\r\n" "0 value(s) could not be stored, 0 value(s) were left unchanged because they could not be read."},
    {"RequestGoOn", false, 15, MsgAnswer::No, MsgAnswer::Ok, 150, 150, "could not be read."},
};
// clang-format on

TEST_F(ConversionRunTest, StopKeepsOrRollsBackTheOpenBatchOrUndoesTheRun) {
    for (const StopCase& c : kStops) {
        SCOPED_TRACE(c.name);
        freshCustomers(QString::fromLatin1(c.name), 150);
        (c.byError ? failingValue : stopAt) = u"030 "_s + QString::number(1000000 + c.at);
        (c.byError ? stopAt : failingValue).clear();
        boxes.expect(c.stop);
        if (c.second != MsgAnswer::Ok)
            boxes.expect(c.second);
        // Only a stop after an error ends without a summary.
        const bool summary = !c.byError || c.stop == MsgAnswer::No;
        if (summary)
            boxes.expect(MsgAnswer::No);
        const size_t before = boxes.shown().size();
        viewed.clear();
        const RunResult result = run({kTelefon});
        const MessageBoxRequest question{
            c.byError ? kOutOfMemory
                      : u"15 of 150 records are checked; if you stop, the others stay as they "
                        "are.\r\nDo you want to cancel?"_s,
            AppTitle(), c.byError ? MsgIcon::Exclamation : MsgIcon::Question, MsgButtons::YesNo,
            MsgAnswer::No};
        EXPECT_EQ(boxes.shown()[before], question);
        if (c.second != MsgAnswer::Ok) {
            EXPECT_EQ(boxes.shown()[before + 1].text,
                      c.byError ? u"Do you want to rollback changes?"_s
                                : u"15 values in this run are stored; undo them?"_s);
        }
        EXPECT_EQ(result.stopped, c.stop == MsgAnswer::Yes);
        EXPECT_EQ(result.rolledBack, c.byError && c.second == MsgAnswer::Yes);
        EXPECT_EQ(result.converted, c.converted);
        EXPECT_EQ(result.putBack, c.converted - c.stored);
        const QString pattern = convertedPattern(u"Telefon"_s);
        EXPECT_EQ(pattern.count(u'+'), c.stored);
        if (result.stopped) {
            EXPECT_EQ(pattern.left(c.stored), QString(c.stored, u'+'));
        }
        EXPECT_TRUE(viewed.isEmpty());
        const QByteArray text = readFile(log.path());
        EXPECT_TRUE(text.endsWith(c.logEnd)) << text.right(300).toStdString();
        EXPECT_EQ(text.contains("converted"), summary);
    }
}

TEST_F(ConversionRunTest, FailedFieldLookupPassesOverThatField) {
    addNumberedCustomers(2);
    boxes.expect(MsgAnswer::No);
    expectSummary(2);
    run({FieldPair{u"Kunden"_s, u"Fax"_s}, kTelefon});
    EXPECT_TRUE(boxes.shown()[0].text.startsWith(u"Error 80041018\r\n"_s))
        << boxes.shown()[0].text.toStdString();
    checkSummary();
    const QByteArray text = readFile(log.path());
    EXPECT_TRUE(text.contains("Replace in fields:\r\nTelefon\r\n\r\n"));
    EXPECT_TRUE(text.contains("\r\nError 80041018 - "));
}

// The window's journal holds all its runs: the undo after a stop puts back the stopped run's.
TEST_F(ConversionRunTest, UndoAfterStopLeavesTheEarlierRunsOfTheLog) {
    addNumberedCustomers(150);
    VdbAdmin(file).mark(u"Kunden"_s, {u"140"_s, u"150"_s}, true);
    expectSummary(2);
    run({kTelefon}, true);
    stopAt = u"030 1000015"_s;
    boxes.expect(MsgAnswer::Yes); // cancel?
    boxes.expect(MsgAnswer::Yes); // undo?
    boxes.expect(MsgAnswer::No);  // show log?
    EXPECT_EQ(run({kTelefon}).putBack, 15);
    const QString pattern = convertedPattern(u"Telefon"_s);
    EXPECT_EQ(pattern.count(u'+'), 2);
    EXPECT_TRUE(pattern[139] == u'+' && pattern[149] == u'+');
}

TEST_F(ConversionRunTest, OnlyMarkedRecords) {
    addNumberedCustomers(6);
    VdbAdmin(file).mark(u"Kunden"_s, {u"2"_s, u"5"_s}, true);
    expectSummary(2);
    const RunResult marked = run({kTelefon}, true);
    EXPECT_EQ(marked.total, 2);
    EXPECT_EQ(progress.maximum, 2);
    EXPECT_EQ(progress.statuses[1],
              u"Checking records in table Kunden, 2 from 2 records checked."_s);
    EXPECT_EQ(convertedPattern(u"Telefon"_s), u"-+--+-"_s);
}

// The same text in two tables is formatted once.
TEST_F(ConversionRunTest, TablesWithoutIdUseTheRecordIdAndCountOnce) {
    VdbFixture::insert(file, u"Ohne"_s, {u"Name"_s, u"Telefon"_s}, {{u"Eva"_s, u"030 1000001"_s}});
    addNumberedCustomers(1);
    expectSummary(2);
    const RunResult result = run({kTelefon, FieldPair{u"Ohne"_s, u"Telefon"_s}, kMobil});
    EXPECT_EQ(result.total, 2);
    EXPECT_EQ(result.formatted, 1);
    EXPECT_EQ(result.remembered, 1);
    const QByteArray text = readFile(log.path());
    EXPECT_TRUE(text.contains(
        "\r\nTable: Ohne\r\nReplace in fields:\r\nTelefon\r\n\r\n\r\nRecord: Eva\r\nID: 1\r\n"));
    EXPECT_FALSE(text.contains("Table: Notizen"));
}

// Record 2 has no key and its batch does not commit: the journal keeps record 1's and 3's changes.
TEST_F(ConversionRunTest, UnkeyedRecordsBatchTakesBackNoOtherLines) {
    addNumberedCustomers(3, true);
    for (const MsgAnswer answer : {MsgAnswer::Ok, MsgAnswer::No, MsgAnswer::No})
        boxes.expect(answer);
    int keys = 0, commits = 0;
    run({kTelefon, kMobil}, false, [&](const QString& op) {
        if ((op == u"Table.StableRecordKey:Kunden"_s && ++keys == 2) ||
            (op == u"Transaction.Commit"_s && ++commits == 2))
            throw ErrorRecord(7, u"Out of memory"_s);
    });
    EXPECT_EQ(RunJournal::read(RunJournal::pathFor(log.path())).size(), 4);
}

TEST_F(ConversionRunTest, LogThatCannotBePreparedChangesNothing) {
    addNumberedCustomers(3);
    writeFile(fx.path(u"Logs"_s), "");
    boxes.expect(MsgAnswer::Ok);
    EXPECT_FALSE(run({kTelefon}).started);
    EXPECT_EQ(boxes.last().icon, MsgIcon::Stop);
    EXPECT_TRUE(boxes.last().text.startsWith(u"Error 4B\r\n"_s));
    EXPECT_EQ(convertedPattern(u"Telefon"_s), u"---"_s);
    EXPECT_EQ(componentsMade, 0);
}

TEST_F(ConversionRunTest, NothingChosenForAnyTable) {
    addNumberedCustomers(3);
    expectSummary(0);
    EXPECT_EQ(run({}).total, 0);
    EXPECT_EQ(readFile(log.path()),
              "05.03.24 14:07:09\r\n\r\n0 record(s) converted.\r\nThat is 0 value(s) in 0 "
              "record(s).\r\n" +
                  kNothingLeft.toUtf8());
}

TEST_F(ConversionRunTest, ValuesLeftUnchangedAreCountedByReason) {
    const QString tooLong = u"Tel "_s + QString(40000, u'x') + u" 030 1234567"_s;
    addCustomers({{1, u"A"_s, u"030 1234567, 030 7654321"_s, QVariant(), QVariant()},
                  {2, u"B"_s, tooLong, QVariant(), u"030 7654321"_s}});
    expectSummary(
        1, MsgAnswer::Yes,
        u"0 value(s) could not be stored, 2 value(s) were left unchanged because they could not be read."_s);
    viewerWorks = false;
    boxes.expect(MsgAnswer::Ok);
    const RunResult result = run({kTelefon, kMobil});
    EXPECT_EQ(boxes.shown()[0].text, expectedSummary);
    EXPECT_EQ(result.unreadableBy[size_t(Unreadable::TwoNumbers)], 1);
    EXPECT_EQ(result.unreadableBy[size_t(Unreadable::TooLong)], 1);
    EXPECT_EQ(stored(u"Telefon"_s)[1], tooLong);
    const QByteArray text = readFile(log.path());
    EXPECT_TRUE(text.contains("\r\nRecord: B\r\nID: 2\r\nField Telefon: left unchanged (too long, "
                              "40016 characters)\r\nField Mobil: 030 7654321 -> "));
    EXPECT_TRUE(text.endsWith(
        "read.\r\nLeft unchanged because they could not be read: 2 (two numbers: 1, too long: 1)"));
    // No viewer: the log's path, to be copied.
    EXPECT_TRUE(boxes.last().text.endsWith(u"\r\n"_s + log.path()));
    EXPECT_TRUE(boxes.last().selectable);
}

TEST_F(ConversionRunTest, ValueChangedBetweenBatchesIsReadInTheBatchThatWritesIt) {
    addNumberedCustomers(150);
    int begins = 0;
    expectSummary(150);
    run({kTelefon}, false, [&](const QString& operation) {
        // Between the first batch's commit and the second's begin, another program writes.
        if (operation != u"Transaction.Begin"_s || ++begins != 2)
            return;
        const TablePtr other = VdbFixture::open(file)->Tables()->Item(u"Kunden"_s);
        other->Indexes()->Activate(u"ID"_s, 0);
        other->MoveFirst(0);
        other->Skip(10, 0);
        other->Fields()->Item(u"Telefon"_s)->SetValue(u"040 7777777"_s);
        other->Update(0);
    });
    EXPECT_EQ(stored(u"Telefon"_s)[10], u"+49 (40) 7777777"_s);
    EXPECT_TRUE(readFile(log.path()).contains("Field Telefon: 040 7777777 -> +49 (40) 7777777"));
}

} // namespace
