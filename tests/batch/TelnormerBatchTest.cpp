#include "AppTitle.h"
#include "BatchTestSupport.h"
#include "ComponentFactory.h"
#include "FaultyDatabase.h"
#include "PhoneComponent.h"
#include "RunJournal.h"
#include "SettingsStore.h"
#include "StringConversions.h"
#include "StringTable.h"
#include "VdbAdmin.h"
#include "VdbFixture.h"
#include "VdbServer.h"
#include "WatchedComponent.h"

#include <QDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

// Kunden (index "ID", labelled by name): numbered customers whose phone fields hold national
// numbers. Zweite (no "ID", no label expression): a second table for the choice by prefix.
class TelnormerBatchTest : public ::testing::Test {
protected:
    void SetUp() override {
        setUiLanguageOverride(UiLanguage::English);
        // The remembered prefix lives in the private home folder the test main made.
        QFile::remove(SettingsStore().fileName(AppTitle()));
        TableSchema customers;
        customers.name = u"Kunden"_s;
        customers.fields << FieldSchema{u"ID"_s, FieldType::Integer, {}} << textField(u"Name"_s)
                         << textField(u"Telefon"_s)
                         << textField(u"Telefax"_s, u"length(\"Telefax\") <= 16"_s)
                         << textField(u"Mobil"_s) << textField(u"telefonPrivat"_s);
        customers.indexes << IndexSchema{u"ID"_s, {u"ID"_s}};
        customers.properties << std::pair{u"ItemExpression"_s, u"Kunden->Name"_s};
        const TableSchema second =
            tableOf(u"Zweite"_s, {u"Notiz"_s, u"Tel"_s, u"Telefon"_s, u"Übersee"_s});
        file = fx.create(u"Kunden.vdb"_s, schemaOf({customers, second}));
        environment.clock = steppingClock();
        environment.phoneFactory.registerCreator(
            kPhoneApplicationName, [this]() -> std::shared_ptr<PhoneComponent> {
                return std::make_shared<WatchedComponent>(
                    failingValue, [this](const QString& value) {
                        componentFailed = componentFailed || value == failingValue;
                    });
            });
    }
    void TearDown() override {
        setUiLanguageOverride(std::nullopt);
        QFile::remove(SettingsStore().fileName(AppTitle()));
    }

    // n customers: Telefon "030 100000i", Mobil "0171 100000i", Telefax and telefonPrivat Null.
    void addCustomers(int n) {
        QList<QVariantList> rows;
        for (int i = 1; i <= n; ++i)
            rows << QVariantList{i,
                                 QString(u"K"_s + QString::number(i)),
                                 QString(u"030 "_s + QString::number(1000000 + i)),
                                 QVariant(),
                                 QString(u"0171 "_s + QString::number(1000000 + i)),
                                 QVariant()};
        VdbFixture::insert(
            file, u"Kunden"_s,
            {u"ID"_s, u"Name"_s, u"Telefon"_s, u"Telefax"_s, u"Mobil"_s, u"telefonPrivat"_s}, rows);
    }
    void addSecond(const QList<QVariantList>& rows) {
        VdbFixture::insert(file, u"Zweite"_s, {u"Notiz"_s, u"Tel"_s, u"Telefon"_s, u"Übersee"_s},
                           rows);
    }

    BatchRun batch(const QStringList& options, const QString& input = {}) {
        const ScopedEnvironment password("VDB_PASSWORD", "admin");
        return runBatch(QStringList{file, u"--user"_s, u"ADMIN"_s} + options, environment, input);
    }

    // The stored values of a field, in record order; Null as "<null>".
    QStringList stored(const QString& table, const QString& field) {
        const TablePtr t = VdbFixture::open(file)->Tables()->Item(table);
        QStringList values;
        for (t->MoveFirst(0); !t->Eof(); t->Skip(1, 0)) {
            const QVariant v = t->Fields()->Item(field)->Value();
            values << (v.isNull() ? u"<null>"_s : v.toString());
        }
        return values;
    }
    qsizetype convertedIn(const QString& table, const QString& field) {
        return stored(table, field).filter(u"+49"_s).size();
    }

    // The "Replace in fields" block of the log for a table: the fields the run worked on.
    static QStringList loggedFields(const QByteArray& log, const QString& table) {
        const QString text = QString::fromUtf8(log);
        const QString head = u"Table: "_s + table + u"\r\nReplace in fields:\r\n"_s;
        const qsizetype at = text.indexOf(head);
        if (at < 0)
            return {};
        const qsizetype from = at + head.size();
        return text.mid(from, text.indexOf(u"\r\n\r\n"_s, from) - from).split(u"\r\n"_s);
    }

    VdbFixture fx;
    QString file;
    BatchEnvironment environment;
    QString failingValue;
    bool componentFailed = false;
};

TEST_F(TelnormerBatchTest, CompleteRunPrintsSummaryAndLogPathAndWritesEveryChange) {
    addCustomers(3);
    const BatchRun run = batch({u"--field"_s, u"Kunden"_s, u"Telefon"_s});
    ASSERT_EQ(run.status(), BatchStatus::Done) << run.err.toStdString();
    EXPECT_TRUE(run.err.isEmpty()) << run.err.toStdString();
    const QString logPath = fx.path(u"Logs/Telnormer/Kunden_2024-03-05 14-07-09.txt"_s);
    EXPECT_EQ(run.out, u"3 record(s) converted.\n0 value(s) could not be stored, 0 value(s) were "
                       "left unchanged because they could not be read.\n"_s +
                           logPath + u'\n');
    EXPECT_EQ(run.outcome.logPath, logPath);
    const QByteArray log = fileContents(logPath);
    for (int i = 1; i <= 3; ++i)
        EXPECT_TRUE(
            log.contains(QString(u"\r\nRecord: K%1\r\nID: %1\r\nField Telefon: 030 100000%1 "
                                 "-> +49 (30) 100000%1\r\n"_s)
                             .arg(i)
                             .toUtf8()))
            << log.toStdString();
    EXPECT_TRUE(log.contains("\r\n3 record(s) converted.\r\n0 value(s) could not be stored"))
        << log.toStdString();
    EXPECT_EQ(convertedIn(u"Kunden"_s, u"Telefon"_s), 3);
    EXPECT_EQ(convertedIn(u"Kunden"_s, u"Mobil"_s), 0);
}

TEST_F(TelnormerBatchTest, SecondRunOverTheSameFileConvertsNothing) {
    addCustomers(120);
    const QStringList options{u"--field"_s, u"Kunden"_s, u"Telefon"_s,
                              u"--field"_s, u"Kunden"_s, u"Mobil"_s};
    const BatchRun first = batch(options);
    ASSERT_EQ(first.status(), BatchStatus::Done) << first.err.toStdString();
    EXPECT_TRUE(first.out.startsWith(u"240 record(s) converted.\n"_s));
    const QStringList telefon = stored(u"Kunden"_s, u"Telefon"_s);
    const QStringList mobil = stored(u"Kunden"_s, u"Mobil"_s);
    const BatchRun second = batch(options);
    ASSERT_EQ(second.status(), BatchStatus::Done) << second.err.toStdString();
    EXPECT_TRUE(second.out.startsWith(u"0 record(s) converted.\n"_s)) << second.out.toStdString();
    EXPECT_EQ(second.outcome.run->converted, 0);
    EXPECT_EQ(second.outcome.run->processed, 120);
    EXPECT_NE(second.outcome.logPath, first.outcome.logPath);
    EXPECT_FALSE(fileContents(second.outcome.logPath).contains("Field "));
    EXPECT_EQ(stored(u"Kunden"_s, u"Telefon"_s), telefon);
    EXPECT_EQ(stored(u"Kunden"_s, u"Mobil"_s), mobil);
}

TEST_F(TelnormerBatchTest, FieldsAreConvertedInTheGivenOrder) {
    addCustomers(1);
    const BatchRun run =
        batch({u"--field"_s, u"Kunden"_s, u"Mobil"_s, u"--field"_s, u"Kunden"_s, u"Telefon"_s});
    ASSERT_EQ(run.status(), BatchStatus::Done) << run.err.toStdString();
    const QByteArray log = fileContents(run.outcome.logPath);
    EXPECT_EQ(loggedFields(log, u"Kunden"_s), (QStringList{u"Mobil"_s, u"Telefon"_s}));
    EXPECT_TRUE(log.contains("Field Mobil: 0171 1000001 -> +49 (171) 1000001\r\n"
                             "Field Telefon: 030 1000001 -> +49 (30) 1000001\r\n"))
        << log.toStdString();
}

TEST_F(TelnormerBatchTest, PrefixChoosesFieldsIgnoringCaseInCatalogueOrder) {
    addCustomers(1);
    addSecond({{u"n"_s, u"030 2000001"_s, u"030 2000002"_s, u"030 2000003"_s}});
    const BatchRun run = batch({u"--prefix"_s, u"tELEF"_s});
    ASSERT_EQ(run.status(), BatchStatus::Done) << run.err.toStdString();
    const QByteArray log = fileContents(run.outcome.logPath);
    EXPECT_EQ(loggedFields(log, u"Kunden"_s),
              (QStringList{u"Telefon"_s, u"Telefax"_s, u"telefonPrivat"_s}));
    EXPECT_EQ(loggedFields(log, u"Zweite"_s), QStringList{u"Telefon"_s});
    EXPECT_LT(log.indexOf("Table: Kunden"), log.indexOf("Table: Zweite"));
    EXPECT_EQ(stored(u"Zweite"_s, u"Tel"_s), QStringList{u"030 2000001"_s});
    EXPECT_EQ(stored(u"Zweite"_s, u"Telefon"_s), QStringList{u"+49 (30) 2000002"_s});

    // Letter case by Unicode rules: "üB" matches "Übersee".
    const BatchRun umlaut = batch({u"--prefix"_s, u"üB"_s});
    ASSERT_EQ(umlaut.status(), BatchStatus::Done) << umlaut.err.toStdString();
    EXPECT_EQ(loggedFields(fileContents(umlaut.outcome.logPath), u"Zweite"_s),
              QStringList{u"Übersee"_s});
    EXPECT_EQ(stored(u"Zweite"_s, u"Übersee"_s), QStringList{u"+49 (30) 2000003"_s});
}

struct RememberedCase {
    const char* name;
    std::optional<QString> stored; // nullopt: nothing stored
    QStringList kunden;            // the fields chosen in Kunden
    QStringList zweite;
};

// Names the case in failure messages.
void PrintTo(const RememberedCase& c, std::ostream* out) {
    *out << c.name;
}

class RememberedPrefix : public TelnormerBatchTest,
                         public ::testing::WithParamInterface<RememberedCase> {};

TEST_P(RememberedPrefix, ChoosesTheFieldsWithoutOptions) {
    addCustomers(1);
    addSecond({{u"n"_s, u"030 2000001"_s, u"030 2000002"_s, u"030 2000003"_s}});
    SettingsStore settings;
    if (GetParam().stored)
        settings.SaveSetting(AppTitle(), SettingKey::section(), SettingKey::fieldSearchPrefix(),
                             *GetParam().stored);
    const BatchRun run = batch({});
    ASSERT_EQ(run.status(), BatchStatus::Done) << run.err.toStdString();
    const QByteArray log = fileContents(run.outcome.logPath);
    EXPECT_EQ(loggedFields(log, u"Kunden"_s), GetParam().kunden);
    EXPECT_EQ(loggedFields(log, u"Zweite"_s), GetParam().zweite);
    if (GetParam().kunden.isEmpty() && GetParam().zweite.isEmpty()) {
        EXPECT_TRUE(run.err.contains(u"nothing to convert"_s)) << run.err.toStdString();
        EXPECT_TRUE(run.out.startsWith(u"0 record(s) converted.\n"_s));
    }
    // A --prefix is used for its run only: the remembered one stays.
    ASSERT_EQ(batch({u"--prefix"_s, u"Notiz"_s}).status(), BatchStatus::Done);
    EXPECT_EQ(settings.GetSetting(AppTitle(), SettingKey::section(),
                                  SettingKey::fieldSearchPrefix(), u"<none>"_s),
              GetParam().stored.value_or(u"<none>"_s));
}

INSTANTIATE_TEST_SUITE_P(
    Batch, RememberedPrefix,
    ::testing::Values(RememberedCase{"NothingStoredMeansTelef",
                                     std::nullopt,
                                     {u"Telefon"_s, u"Telefax"_s, u"telefonPrivat"_s},
                                     {u"Telefon"_s}},
                      RememberedCase{"Stored", u"mob"_s, {u"Mobil"_s}, {}},
                      RememberedCase{"StoredForBothTables",
                                     u"TEL"_s,
                                     {u"Telefon"_s, u"Telefax"_s, u"telefonPrivat"_s},
                                     {u"Tel"_s, u"Telefon"_s}},
                      RememberedCase{"StoredEmptyChoosesNothing", u""_s, {}, {}}),
    [](const ::testing::TestParamInfo<RememberedCase>& info) {
        return std::string(info.param.name);
    });

// 150 customers: batches of ten. The failure comes with record 15, or with the lookup of a
// field that does not exist before any record is visited.
struct PolicyCase {
    const char* name;
    QString policy;
    bool missingField;
    int status;
    int convertedRecords; // the first n records hold "+49 ..." afterwards
    QStringList answers;  // the questions' lines on standard error, in order
};

// Names the case in failure messages.
void PrintTo(const PolicyCase& c, std::ostream* out) {
    *out << c.name;
}

class ErrorPolicies : public TelnormerBatchTest,
                      public ::testing::WithParamInterface<PolicyCase> {};

TEST_P(ErrorPolicies, AnswerTheRunsQuestions) {
    const PolicyCase& c = GetParam();
    addCustomers(150);
    QStringList options{u"--on-error"_s, c.policy};
    if (c.missingField) {
        options << u"--field"_s << u"Kunden"_s << u"Fax"_s;
    } else {
        failingValue = u"030 1000015"_s;
    }
    options << u"--field"_s << u"Kunden"_s << u"Telefon"_s;
    const BatchRun run = batch(options);
    EXPECT_EQ(run.status(), c.status) << run.err.toStdString();
    const QStringList values = stored(u"Kunden"_s, u"Telefon"_s);
    ASSERT_EQ(values.size(), 150);
    for (int i = 0; i < 150; ++i) {
        const bool failed = !c.missingField && i == 14;
        EXPECT_EQ(values[i].startsWith(u"+49"_s), i < c.convertedRecords && !failed) << i;
    }
    const QStringList lines = run.err.split(u'\n');
    const QStringList answers = lines.filter(u"(--on-error "_s);
    EXPECT_EQ(answers, c.answers) << run.err.toStdString();
    const QString error = c.missingField ? u"Error 80041018"_s : u"Error 7\nOut of memory\n"_s;
    EXPECT_TRUE(run.err.startsWith(error)) << run.err.toStdString();
    const QByteArray log = fileContents(run.outcome.logPath);
    if (c.status == BatchStatus::Done) {
        EXPECT_TRUE(run.out.startsWith(QString::number(c.convertedRecords - !c.missingField) +
                                       u" record(s) converted.\n"_s))
            << run.out.toStdString();
    } else {
        EXPECT_EQ(run.out, run.outcome.logPath + u'\n');
        EXPECT_TRUE(
            run.err.endsWith(c.policy == u"rollback"_s
                                 ? u"stopped after an error; the open batch was rolled back\n"_s
                                 : u"stopped after an error; the values converted so far "
                                   "are kept\n"_s))
            << run.err.toStdString();
        EXPECT_FALSE(log.contains("converted."));
    }
    EXPECT_EQ(log.contains("Changes were rolled back!"), c.policy == u"rollback"_s);
}

const QString kCancelNo = u"Do you want to cancel? No (--on-error continue)"_s;
const QString kStopYes = u"Do you want to cancel? Yes (--on-error stop)"_s;
const QString kStopKeep = u"Do you want to rollback changes? No (--on-error stop)"_s;
const QString kRollbackYes = u"Do you want to cancel? Yes (--on-error rollback)"_s;
const QString kRollbackUndo = u"Do you want to rollback changes? Yes (--on-error rollback)"_s;

INSTANTIATE_TEST_SUITE_P(
    Batch, ErrorPolicies,
    ::testing::Values(
        PolicyCase{"ContinuePassesOverTheValue",
                   u"continue"_s,
                   false,
                   BatchStatus::Done,
                   150,
                   {kCancelNo}},
        PolicyCase{"StopKeepsTheOpenBatch",
                   u"stop"_s,
                   false,
                   BatchStatus::Stopped,
                   14,
                   {kStopYes, kStopKeep}},
        PolicyCase{"RollbackUndoesTheOpenBatch",
                   u"rollback"_s,
                   false,
                   BatchStatus::Stopped,
                   10,
                   {kRollbackYes, kRollbackUndo}},
        PolicyCase{
            "ContinueAfterMissingField", u"continue"_s, true, BatchStatus::Done, 150, {kCancelNo}},
        PolicyCase{
            "StopAtMissingField", u"stop"_s, true, BatchStatus::Stopped, 0, {kStopYes, kStopKeep}},
        PolicyCase{"RollbackAtMissingField",
                   u"rollback"_s,
                   true,
                   BatchStatus::Stopped,
                   0,
                   {kRollbackYes, kRollbackUndo}}),
    [](const ::testing::TestParamInfo<PolicyCase>& info) { return std::string(info.param.name); });

// The run stops at record 15, and the commit (or roll-back) that closes the open batch fails:
// the message must not claim the batch was kept, and indeed only the batches before it are.
class ClosingFailure : public TelnormerBatchTest,
                       public ::testing::WithParamInterface<const char*> {};

TEST_P(ClosingFailure, IsReportedAndOnlyTheBatchesBeforeStay) {
    addCustomers(150);
    failingValue = u"030 1000015"_s;
    environment.openDatabase = [this](const QString& path, const QString& user,
                                      const QString& password) {
        return faultyDatabase(VdbServer().OpenDatabase(path, user, password, 0),
                              [this](const QString& operation) {
                                  if (componentFailed && (operation == u"Transaction.Commit"_s ||
                                                          operation == u"Transaction.Rollback"_s))
                                      throw ErrorRecord(3, u"Disk gone"_s);
                              });
    };
    const BatchRun run = batch({u"--field"_s, u"Kunden"_s, u"Telefon"_s, u"--on-error"_s,
                                QString::fromLatin1(GetParam())});
    EXPECT_EQ(run.status(), BatchStatus::Stopped);
    EXPECT_TRUE(run.err.contains(u"rollback changes? "_s) &&
                run.err.contains(u"\nError 3\nDisk gone\n"_s))
        << run.err.toStdString();
    EXPECT_TRUE(
        run.err.endsWith(u"stopped after an error; closing the open batch failed (see above)\n"_s))
        << run.err.toStdString();
    // The open batch went with the failed closing; the ten records before it stay.
    EXPECT_EQ(convertedIn(u"Kunden"_s, u"Telefon"_s), 10);
}

INSTANTIATE_TEST_SUITE_P(Batch, ClosingFailure, ::testing::Values("stop", "rollback"));

TEST_F(TelnormerBatchTest, StopIsTheDefaultPolicy) {
    addCustomers(150);
    failingValue = u"030 1000015"_s;
    const BatchRun run = batch({u"--field"_s, u"Kunden"_s, u"Telefon"_s});
    EXPECT_EQ(run.status(), BatchStatus::Stopped);
    EXPECT_TRUE(run.err.contains(kStopYes)) << run.err.toStdString();
    EXPECT_EQ(convertedIn(u"Kunden"_s, u"Telefon"_s), 14);
}

TEST_F(TelnormerBatchTest, OnlyMarkedRecords) {
    addCustomers(6);
    VdbAdmin(file).mark(u"Kunden"_s, {u"2"_s, u"5"_s}, true);
    const BatchRun run = batch({u"--field"_s, u"Kunden"_s, u"Telefon"_s, u"--only-marked"_s});
    ASSERT_EQ(run.status(), BatchStatus::Done) << run.err.toStdString();
    EXPECT_EQ(run.outcome.run->total, 2);
    EXPECT_EQ(stored(u"Kunden"_s, u"Telefon"_s),
              (QStringList{u"030 1000001"_s, u"+49 (30) 1000002"_s, u"030 1000003"_s,
                           u"030 1000004"_s, u"+49 (30) 1000005"_s, u"030 1000006"_s}));
}

// The label of a record in Zweite is its first field, Notiz; Null there fails the label, whose
// box is printed and answered, and the run goes on.
TEST_F(TelnormerBatchTest, WindowErrorBoxesArePrintedAndAnswered) {
    addSecond({{QVariant(), u"x"_s, u"030 2000002"_s, QVariant()},
               {u"zwei"_s, u"x"_s, u"030 2000003"_s, QVariant()}});
    const BatchRun run = batch({u"--field"_s, u"Zweite"_s, u"Telefon"_s});
    ASSERT_EQ(run.status(), BatchStatus::Done) << run.err.toStdString();
    EXPECT_TRUE(run.err.startsWith(u"Fehler: "_s)) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(u"GetItem"_s)) << run.err.toStdString();
    EXPECT_FALSE(run.err.contains(u"(--on-error"_s));
    EXPECT_EQ(stored(u"Zweite"_s, u"Telefon"_s),
              (QStringList{u"+49 (30) 2000002"_s, u"+49 (30) 2000003"_s}));
}

TEST_F(TelnormerBatchTest, LogThatCannotBePreparedChangesNothing) {
    addCustomers(3);
    QFile blocker(fx.path(u"Logs"_s));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const BatchRun run = batch({u"--field"_s, u"Kunden"_s, u"Telefon"_s});
    EXPECT_EQ(run.status(), BatchStatus::NoLog);
    EXPECT_TRUE(run.err.startsWith(u"Error 4B\n"_s)) << run.err.toStdString();
    EXPECT_TRUE(run.out.isEmpty());
    EXPECT_TRUE(run.outcome.logPath.isEmpty());
    EXPECT_EQ(convertedIn(u"Kunden"_s, u"Telefon"_s), 0);
}

struct LoginCase {
    const char* name;
    QString user;
    QByteArray password; // null: none from anywhere
    QString fileName;    // in the test folder
    QString message;
};

// Names the case in failure messages.
void PrintTo(const LoginCase& c, std::ostream* out) {
    *out << c.name;
}

class LoginFailures : public TelnormerBatchTest, public ::testing::WithParamInterface<LoginCase> {};

TEST_P(LoginFailures, ExitWithStatusThreeAndTheReason) {
    addCustomers(1);
    QFile foreign(fx.path(u"foreign.vdb"_s));
    ASSERT_TRUE(foreign.open(QIODevice::WriteOnly));
    foreign.write(QByteArray(4096, 'x'));
    foreign.close();
    const ScopedEnvironment password("VDB_PASSWORD", GetParam().password);
    const BatchRun run = runBatch({fx.path(GetParam().fileName), u"--user"_s, GetParam().user,
                                   u"--field"_s, u"Kunden"_s, u"Telefon"_s},
                                  environment);
    EXPECT_EQ(run.status(), BatchStatus::NoLogin);
    EXPECT_TRUE(run.out.isEmpty());
    EXPECT_TRUE(run.err.startsWith(u"telnormer-batch: "_s));
    EXPECT_TRUE(run.err.contains(GetParam().message)) << run.err.toStdString();
    EXPECT_FALSE(QDir(fx.path(u"Logs"_s)).exists());
    EXPECT_EQ(convertedIn(u"Kunden"_s, u"Telefon"_s), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Batch, LoginFailures,
    ::testing::Values(
        LoginCase{"WrongPassword", u"ADMIN"_s, "wrong", u"Kunden.vdb"_s,
                  u"The password of the user \"ADMIN\" is wrong. (&H"_s},
        LoginCase{"UnknownUser", u"MEIER"_s, "admin", u"Kunden.vdb"_s,
                  u"The database does not know the user \"MEIER\". (&H"_s},
        LoginCase{"MissingFile", u"ADMIN"_s, "admin", u"Fehlt.vdb"_s,
                  u"The database file does not exist"_s},
        LoginCase{"NotADatabase", u"ADMIN"_s, "admin", u"foreign.vdb"_s,
                  u"This is not a .vdb database"_s},
        LoginCase{"NoPassword", u"ADMIN"_s, QByteArray(), u"Kunden.vdb"_s, u"no password"_s},
        LoginCase{"EmptyPassword", u"ADMIN"_s, "", u"Kunden.vdb"_s, u"the password is empty"_s}),
    [](const ::testing::TestParamInfo<LoginCase>& info) { return std::string(info.param.name); });

TEST_F(TelnormerBatchTest, PasswordFromFileEnvironmentOrStandardInput) {
    addCustomers(1);
    const QString passwordFile = fx.path(u"pw.txt"_s);
    QFile pw(passwordFile);
    ASSERT_TRUE(pw.open(QIODevice::WriteOnly));
    pw.write("admin\r\nsecond line\r\n");
    pw.close();
    const QStringList args{file, u"--user"_s, u"ADMIN"_s, u"--field"_s, u"Kunden"_s, u"Mobil"_s};
    {
        // The file wins over the other sources.
        const ScopedEnvironment env("VDB_PASSWORD", "wrong");
        EXPECT_EQ(
            runBatch(args + QStringList{u"--password-file"_s, passwordFile}, environment, u"x\n"_s)
                .status(),
            BatchStatus::Done);
        EXPECT_EQ(runBatch(args, environment, u"x\n"_s).status(), BatchStatus::NoLogin);
    }
    const ScopedEnvironment env("VDB_PASSWORD", QByteArray());
    const BatchRun fromInput = runBatch(args, environment, u"admin\n"_s);
    EXPECT_EQ(fromInput.status(), BatchStatus::Done) << fromInput.err.toStdString();
    EXPECT_EQ(
        runBatch(args + QStringList{u"--password-file"_s, fx.path(u"none.txt"_s)}, environment)
            .status(),
        BatchStatus::NoLogin);
}

TEST_F(TelnormerBatchTest, ProgressIsDrawnOnATerminalOnly) {
    addCustomers(300);
    const QStringList options{u"--field"_s, u"Kunden"_s, u"Telefon"_s};
    EXPECT_TRUE(batch(options).err.isEmpty());
    environment.terminal = true;
    environment.columns = 120;
    const BatchRun drawn = batch(options);
    ASSERT_EQ(drawn.status(), BatchStatus::Done);
    const QStringList drawings = drawn.err.split(u'\r', Qt::SkipEmptyParts);
    ASSERT_GE(drawings.size(), 3) << drawn.err.toStdString();
    EXPECT_TRUE(drawings[drawings.size() - 2].startsWith(u"[########################] 100%"_s));
    // Blanked out at the end; the summary stays on standard output.
    EXPECT_EQ(drawings.last().trimmed(), QString());
    EXPECT_TRUE(drawn.out.startsWith(u"0 record(s) converted.\n"_s));
}

TEST_F(TelnormerBatchTest, RunsInTheSameSecondGetTheirOwnLogs) {
    addCustomers(2);
    environment.clock = [] {
        return QDateTime::currentDateTime();
    };
    const QStringList options{u"--field"_s, u"Kunden"_s, u"Telefon"_s};
    const BatchRun first = batch(options);
    const BatchRun second = batch(options);
    ASSERT_EQ(first.status(), BatchStatus::Done) << first.err.toStdString();
    ASSERT_EQ(second.status(), BatchStatus::Done) << second.err.toStdString();
    EXPECT_NE(first.outcome.logPath, second.outcome.logPath);
    EXPECT_TRUE(fileContents(first.outcome.logPath).contains("\r\n2 record(s) converted.\r\n"));
    EXPECT_TRUE(fileContents(second.outcome.logPath).contains("\r\n0 record(s) converted.\r\n"));
}

TEST_F(TelnormerBatchTest, DryRunLeavesTheFileAsItWas) {
    addCustomers(3);
    const QByteArray before = fileContents(file);
    const BatchRun run = batch({u"--field"_s, u"Kunden"_s, u"Telefon"_s, u"--dry-run"_s});
    ASSERT_EQ(run.status(), BatchStatus::Done) << run.err.toStdString();
    EXPECT_TRUE(run.out.startsWith(u"3 value(s) would be converted.\n"_s)) << run.out.toStdString();
    EXPECT_EQ(fileContents(file), before);
    EXPECT_TRUE(run.outcome.logPath.endsWith(u"_preview.txt"_s));
    const QByteArray log = fileContents(run.outcome.logPath);
    EXPECT_TRUE(log.contains("\r\nPreview: nothing is stored.\r\n"));
    EXPECT_TRUE(log.contains("Field Telefon: 030 1000003 -> +49 (30) 1000003\r\n"));
    EXPECT_FALSE(QFile::exists(RunJournal::pathFor(run.outcome.logPath)));
}

TEST_F(TelnormerBatchTest, UndoPutsBackWhatTheRunChangedAndLeavesLaterChanges) {
    addCustomers(3);
    // The log's text would be ambiguous for this value; the journal is not.
    const QString odd = u"Tel. 030 7654321 -> neu\r\nprivat"_s;
    VdbFixture::insert(file, u"Kunden"_s, {u"ID"_s, u"Name"_s, u"Telefon"_s}, {{4, u"K4"_s, odd}});
    const QStringList original = stored(u"Kunden"_s, u"Telefon"_s);
    const QStringList options{u"--field"_s, u"Kunden"_s, u"Telefon"_s};
    const BatchRun first = batch(options);
    ASSERT_EQ(first.status(), BatchStatus::Done) << first.err.toStdString();
    const QStringList converted = stored(u"Kunden"_s, u"Telefon"_s);
    ASSERT_EQ(converted.filter(u"+49"_s).size(), 4);
    {
        // Someone changes record 2 after the run.
        const TablePtr t = VdbFixture::open(file)->Tables()->Item(u"Kunden"_s);
        t->MoveFirst(0);
        t->Skip(1, 0);
        t->Fields()->Item(u"Telefon"_s)->SetValue(u"+49 (30) 9999999"_s);
        t->Update(0);
    }
    const BatchRun undo = batch({u"--undo"_s, RunJournal::pathFor(first.outcome.logPath)});
    ASSERT_EQ(undo.status(), BatchStatus::Done) << undo.err.toStdString();
    EXPECT_TRUE(undo.out.contains(u"\n1 conflict(s)"_s)) << undo.out.toStdString();
    EXPECT_EQ(stored(u"Kunden"_s, u"Telefon"_s),
              (QStringList{original[0], u"+49 (30) 9999999"_s, original[2], odd}));
    EXPECT_TRUE(fileContents(undo.outcome.logPath)
                    .contains("Field Telefon: changed since the run, left as it is: +49 (30) "
                              "9999999 (the run wrote +49 (30) 1000002)\r\n"));
    // The undo has its journal too: undoing it brings the run's values back.
    const BatchRun redo = batch({u"--undo"_s, RunJournal::pathFor(undo.outcome.logPath)});
    ASSERT_EQ(redo.status(), BatchStatus::Done) << redo.err.toStdString();
    EXPECT_EQ(stored(u"Kunden"_s, u"Telefon"_s),
              (QStringList{converted[0], u"+49 (30) 9999999"_s, converted[2], converted[3]}));
}

TEST_F(TelnormerBatchTest, ReportListsTheValuesLeftUnchanged) {
    VdbFixture::insert(file, u"Kunden"_s, {u"ID"_s, u"Name"_s, u"Telefon"_s, u"Mobil"_s},
                       {{1, u"Eins"_s, u"030 1234567, 030 7654321"_s, u"030 1234567"_s},
                        {2, u"Zwei"_s, u"030 1234567"_s, u"0171 7654321"_s}});
    const QString report = fx.path(u"left.csv"_s);
    const BatchRun run = batch({u"--field"_s, u"Kunden"_s, u"Telefon"_s, u"--field"_s, u"Kunden"_s,
                                u"Mobil"_s, u"--report"_s, report});
    ASSERT_EQ(run.status(), BatchStatus::Done) << run.err.toStdString();
    EXPECT_EQ(run.outcome.run->unreadable, 1);
    EXPECT_EQ(fileContents(report),
              QByteArray("table,record key,record label,field,value,reason\r\n"
                         "Kunden,1,Eins,Telefon,\"030 1234567, 030 7654321\","
                         "two-numbers\r\n"));
    EXPECT_TRUE(fileContents(run.outcome.logPath)
                    .endsWith("\r\nLeft unchanged because they could not be read: 1 (two "
                              "numbers: 1)"));
}

} // namespace
