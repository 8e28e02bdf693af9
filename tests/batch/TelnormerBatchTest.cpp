#include "AppTitle.h"
#include "ComponentFactory.h"
#include "FaultyDatabase.h"
#include "PhoneComponent.h"
#include "RunJournal.h"
#include "SettingsStore.h"
#include "Sqlite.h"
#include "StringConversions.h"
#include "StringTable.h"
#include "TelnormerBatchFixture.h"
#include "VdbAdmin.h"
#include "VdbFixture.h"
#include "VdbServer.h"
#include "WatchedComponent.h"

#include <QDir>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <random>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

TEST_F(TelnormerBatchTest, PreviewThenRunOnlyMarkedPrintSummaryAndLogPath) {
    addCustomers(3);
    VdbAdmin(file).mark(u"Kunden"_s, {u"2"_s}, true);
    const QStringList options{u"--field"_s, u"Kunden"_s, u"Telefon"_s};
    const QByteArray before = readFile(file);
    const BatchRun preview = batch(options + QStringList{u"--dry-run"_s});
    ASSERT_EQ(preview.status, BatchStatus::Done) << preview.err.toStdString();
    EXPECT_TRUE(preview.out.startsWith(u"3 value(s) would be converted.\n"_s));
    EXPECT_EQ(readFile(file), before);
    EXPECT_TRUE(preview.outcome.logPath.endsWith(u"_preview.txt"_s));
    EXPECT_TRUE(readFile(preview.outcome.logPath).contains("\r\nPreview: nothing is stored.\r\n"));
    EXPECT_FALSE(QFile::exists(RunJournal::pathFor(preview.outcome.logPath)));

    const BatchRun run = batch(options + QStringList{u"--only-marked"_s});
    ASSERT_EQ(run.status, BatchStatus::Done) << run.err.toStdString();
    EXPECT_TRUE(run.err.isEmpty()) << run.err.toStdString();
    const QString logPath = run.outcome.logPath;
    EXPECT_TRUE(logPath.startsWith(fx.path(u"Logs/Telnormer/Kunden0_2024-03-05 14-07-"_s)));
    EXPECT_EQ(run.out, u"1 record(s) converted.\nThat is 1 value(s) in 1 record(s).\n0 value(s) "
                       u"could not be stored, 0 value(s) were "
                       "left unchanged because they could not be read.\n"_s +
                           logPath + u'\n');
    EXPECT_EQ(storedValues(file, u"Kunden"_s, u"Telefon"_s)[1], u"+49 (30) 1000002"_s);
    EXPECT_EQ(convertedIn(u"Kunden"_s, u"Telefon"_s), 1);
}

// --field in the given order, --prefix ignoring case by Unicode rules, else the prefix the
// window remembers ("Telef" when none), which a --prefix never changes.
TEST_F(TelnormerBatchTest, FieldsChosenByOptionOrRememberedPrefix) {
    struct Case {
        std::optional<QString> remembered;
        QStringList options;
        QStringList kunden; // the fields chosen, in order
        QStringList zweite;
    };
    const QString f = u"--field"_s;
    const QString k = u"Kunden"_s;
    const QString p = u"--prefix"_s;
    const QStringList telef{u"Telefon"_s, u"Telefax"_s, u"telefonPrivat"_s};
    // clang-format off
    const Case cases[] = {
        {{}, {f, k, u"Mobil"_s, f, k, u"Telefon"_s}, {u"Mobil"_s, u"Telefon"_s}, {}},
        {{}, {p, u"tELEF"_s}, telef, {u"Telefon"_s}},
        {{}, {p, u"üB"_s}, {}, {u"Übersee"_s}},
        {{}, {}, telef, {u"Telefon"_s}},
        {u"mob"_s, {}, {u"Mobil"_s}, {}},
        {u"TEL"_s, {}, telef, {u"Tel"_s, u"Telefon"_s}},
        {u""_s, {}, {}, {}},
        {u"mob"_s, {p, u"Notiz"_s}, {}, {u"Notiz"_s}},
    };
    // clang-format on
    addCustomers(1);
    addSecond({{u"n"_s, u"030 2000001"_s, u"030 2000002"_s, u"030 2000003"_s}});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.remembered.value_or(u"<none>"_s).toStdString() + ' ' +
                     c.options.join(u' ').toStdString());
        QFile::remove(SettingsStore().fileName(AppTitle()));
        SettingsStore settings;
        if (c.remembered)
            settings.SaveSetting(AppTitle(), SettingKey::section(), SettingKey::fieldSearchPrefix(),
                                 *c.remembered);
        const BatchRun run = batch(c.options);
        ASSERT_EQ(run.status, BatchStatus::Done) << run.err.toStdString();
        const QByteArray log = readFile(run.outcome.logPath);
        EXPECT_EQ(loggedFields(log, u"Kunden"_s), c.kunden);
        EXPECT_EQ(loggedFields(log, u"Zweite"_s), c.zweite);
        EXPECT_TRUE(c.kunden.isEmpty() || c.zweite.isEmpty() ||
                    log.indexOf("Table: Kunden") < log.indexOf("Table: Zweite"));
        EXPECT_EQ(run.err.contains(u"nothing to convert"_s),
                  c.kunden.isEmpty() && c.zweite.isEmpty())
            << run.err.toStdString();
        EXPECT_EQ(settings.GetSetting(AppTitle(), SettingKey::section(),
                                      SettingKey::fieldSearchPrefix(), u"<none>"_s),
                  c.remembered.value_or(u"<none>"_s));
    }
}

// 100 customers: batches of ten. The failure comes with record 15 (its value cannot be
// formatted, and with Closing the commit or roll-back that closes the open batch fails too), or
// with the lookup of a field that does not exist before any record is visited.
TEST_F(TelnormerBatchTest, ErrorPoliciesAnswerTheRunsQuestions) {
    enum Fault { Value, Closing, MissingField };
    struct Case {
        QString policy; // empty: no --on-error
        Fault fault;
        int convertedRecords;
        const char* answers; // to "cancel?" and then to "rollback changes?": Y or N
        const char* ending;  // of a stopped run on standard error; null: not stopped
        bool german = false;
    };
    // clang-format off
    const Case cases[] = {
        {u"continue"_s, Value, 99, "N", nullptr},
        {u"stop"_s, Value, 14, "YN", "the values converted so far are kept"},
        {u"stop"_s, Value, 14, "YN", "nach einem Fehler angehalten; die bisher konvertierten Werte bleiben gespeichert", true},
        {u""_s, Value, 14, "YN", "the values converted so far are kept"},
        {u"rollback"_s, Value, 10, "YY", "the open batch was rolled back"},
        {u"stop"_s, Closing, 10, "YN", "closing the open batch failed (see above)"},
        {u"rollback"_s, Closing, 10, "YY", "closing the open batch failed (see above)"},
        {u"continue"_s, MissingField, 100, "N", nullptr},
        {u"stop"_s, MissingField, 0, "YN", "the values converted so far are kept"},
        {u"rollback"_s, MissingField, 0, "YY", "the open batch was rolled back"},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.policy.toStdString() + ' ' + std::to_string(c.fault));
        setUiLanguageOverride(c.german ? UiLanguage::German : UiLanguage::English);
        renew();
        addCustomers(100);
        componentFailed = false;
        failingValue = c.fault == MissingField ? QString() : u"030 1000015"_s;
        environment.openDatabase = [&](const QString& path, const QString& user,
                                       const QString& password) {
            return faultyDatabase(VdbServer().OpenDatabase(path, user, password, 0),
                                  [&](const QString& operation) {
                                      if (c.fault == Closing && componentFailed &&
                                          operation != u"Transaction.Begin"_s &&
                                          operation.startsWith(u"Transaction."_s))
                                          throw ErrorRecord(3, u"Disk gone"_s);
                                  });
        };
        QStringList options;
        if (!c.policy.isEmpty())
            options << u"--on-error"_s << c.policy;
        // A name that would forge an answer and retitle the terminal is printed escaped.
        if (c.fault == MissingField)
            options << u"--field"_s << u"Kunden"_s
                    << u"Fax\x1b]0;X\x07\r\nDo you want to cancel? No"_s;
        const BatchRun run = batch(options + QStringList{u"--field"_s, u"Kunden"_s, u"Telefon"_s});
        EXPECT_EQ(run.status, c.ending ? BatchStatus::Stopped : BatchStatus::Done)
            << run.err.toStdString();
        EXPECT_EQ(convertedIn(u"Kunden"_s, u"Telefon"_s), c.convertedRecords);
        QStringList answers;
        const QString policy = c.policy.isEmpty() ? u"stop"_s : c.policy;
        const QStringList yesNo{c.german ? u" Ja"_s : u" Yes"_s, c.german ? u" Nein"_s : u" No"_s};
        for (const char* a = c.answers; *a != 0; ++a)
            answers << LoadResourceString(a == c.answers ? IDS_RUN_ASK_CANCEL
                                                         : IDS_RUN_ASK_ROLLBACK) +
                           yesNo[*a == 'Y' ? 0 : 1] + u" (--on-error "_s + policy + u')';
        EXPECT_EQ(run.err.split(u'\n').filter(u"(--on-error "_s), answers) << run.err.toStdString();
        EXPECT_EQ(run.err.count(u'\n' + LoadResourceString(IDS_RUN_ASK_CANCEL)), 1);
        EXPECT_FALSE(run.err.contains(QChar(0x1b)));
        EXPECT_TRUE(run.err.startsWith(c.fault == MissingField ? u"Error 80041018"_s
                                                               : u"Error 7\nOut of memory\n"_s))
            << run.err.toStdString();
        EXPECT_EQ(run.err.contains(u"\nError 3\nDisk gone\n"_s), c.fault == Closing);
        if (!c.ending) {
            EXPECT_TRUE(run.out.startsWith(QString::number(c.convertedRecords) +
                                           u" record(s) converted.\n"_s))
                << run.out.toStdString();
        } else {
            EXPECT_EQ(run.out, run.outcome.logPath + u'\n');
            EXPECT_TRUE(
                run.err.endsWith((c.german ? u"\ntelnormer-batch: "_s
                                           : u"\ntelnormer-batch: stopped after an error; "_s) +
                                 QString::fromUtf8(c.ending) + u'\n'))
                << run.err.toStdString();
        }
    }
    setUiLanguageOverride(std::nullopt);
}

// The label of a record in Zweite is its first field, Notiz; Null there fails the label, whose
// box is printed and answered, and the run goes on.
TEST_F(TelnormerBatchTest, WindowErrorBoxesArePrintedAndAnswered) {
    addSecond({{QVariant(), u"x"_s, u"030 2000002"_s, QVariant()},
               {u"zwei"_s, u"x"_s, u"030 2000003"_s, QVariant()}});
    const BatchRun run = batch({u"--field"_s, u"Zweite"_s, u"Telefon"_s});
    ASSERT_EQ(run.status, BatchStatus::Done) << run.err.toStdString();
    EXPECT_TRUE(run.err.startsWith(u"Fehler: "_s)) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(u"GetItem"_s)) << run.err.toStdString();
    EXPECT_FALSE(run.err.contains(u"(--on-error"_s));
    EXPECT_EQ(storedValues(file, u"Zweite"_s, u"Telefon"_s),
              (QStringList{u"+49 (30) 2000002"_s, u"+49 (30) 2000003"_s}));
}

TEST_F(TelnormerBatchTest, LogThatCannotBePreparedChangesNothing) {
    addCustomers(3);
    writeFile(fx.path(u"Logs"_s), {});
    writeFile(fx.path(u"r.csv"_s), "last run's report");
    const BatchRun run =
        batch({u"--field"_s, u"Kunden"_s, u"Telefon"_s, u"--report"_s, fx.path(u"r.csv"_s)});
    EXPECT_EQ(run.status, BatchStatus::NoLog);
    EXPECT_TRUE(run.err.startsWith(u"Error 4B\n"_s)) << run.err.toStdString();
    EXPECT_TRUE(run.out.isEmpty());
    EXPECT_EQ(readFile(fx.path(u"r.csv"_s)), QByteArray("last run's report"));
    EXPECT_EQ(QDir(fx.path({})).entryList(QDir::Hidden | QDir::Files).filter(u"r.csv"_s).size(), 1);
}

// Refused before anything is opened (2): a report that would replace the database, a companion
// of it, a log or a journal. Not written (1): one whose place takes no file.
TEST_F(TelnormerBatchTest, ReportThatWouldReplaceARunsFileOrCannotBeWrittenFails) {
    addCustomers(1);
    const BatchRun first = batch({u"--field"_s, u"Kunden"_s, u"Telefon"_s});
    const QString journal = RunJournal::pathFor(first.outcome.logPath);
    QFile::link(file, fx.path(u"link.vdb"_s));
    QFile::copy(journal, fx.path(u"copy.csv"_s));
    const std::pair<QString, int> cases[] = {
        {file, BatchStatus::Usage},
        {file + u"-wal"_s, BatchStatus::Usage},
        {file + u"-shm"_s, BatchStatus::Usage},
        {file + u"-journal"_s, BatchStatus::Usage},
        {fx.path(u"link.vdb"_s), BatchStatus::Usage},
        {fx.path(u"Logs/../Kunden0.vdb"_s), BatchStatus::Usage},
        {first.outcome.logPath, BatchStatus::Usage},
        {journal, BatchStatus::Usage},
        {fx.path(u"Logs/Telnormer/Kunden0_2024-03-05 14-07-11.txt"_s), BatchStatus::Usage},
        {fx.path(u"Logs/Telnormer/link_2024-03-05 14-07-11.jsonl"_s), BatchStatus::Usage},
        {fx.path(u"copy.csv"_s), BatchStatus::Usage},
        {u"/dev/full"_s, BatchStatus::Stopped},
        {fx.path(u"none/r.csv"_s), BatchStatus::Stopped},
    };
    const QByteArray database = readFile(file);
    for (const auto& [report, status] : cases) {
        const BatchRun run =
            batch({u"--field"_s, u"Kunden"_s, u"Telefon"_s, u"--report"_s, report});
        EXPECT_EQ(run.status, status) << report.toStdString() << run.err.toStdString();
        EXPECT_TRUE(run.out.isEmpty());
        EXPECT_EQ(readFile(file), database);
        EXPECT_FALSE(run.outcome.run.has_value());
    }
    // The cause of a report that cannot be written is said in the same language as the rest.
    setUiLanguageOverride(UiLanguage::German);
    EXPECT_EQ(
        batch({u"--field"_s, u"Kunden"_s, u"Telefon"_s, u"--report"_s, u"/dev/full"_s}).err,
        u"telnormer-batch: der Bericht /dev/full lässt sich nicht schreiben (keine gewöhnliche Datei)\n"_s);
    setUiLanguageOverride(std::nullopt);
}

// The password comes from --password-file, else VDB_PASSWORD, else standard input.
TEST_F(TelnormerBatchTest, LoginFailuresExitWithStatusThreeAndTheReason) {
    struct Case {
        QByteArray environment; // null: not set
        QString input;
        QStringList options;
        QString fileName; // in the test folder
        int status;
        QString message;
        QString user = u"ADMIN"_s;
    };
    const QString k = u"Kunden0.vdb"_s;
    const QString pw = u"--password-file"_s;
    const int no = BatchStatus::NoLogin;
    // clang-format off
    const Case cases[] = {
        {"wrong", {}, {}, k, no, u": The password is wrong.\n"_s},
        {"meier", {}, {}, k, no, u": The user has no right to administer the database.\n"_s, u"MEIER"_s},
        {"lang", {}, {}, k, no, u": The user has no right to administer users.\n"_s, u"LANG"_s},
        {"admin", {}, {}, u"Fehlt.vdb"_s, no, u"The database file does not exist"_s},
        {"admin", {}, {}, u"n/n%s.vdb"_s, no, u"/n/n%s.vdb: The database file does not exist"_s},
        {QByteArray(), {}, {}, k, no, u"no password"_s},
        {"", {}, {}, k, no, u"the password is empty"_s},
        {"wrong", u"admin\n"_s, {}, k, no, u"is wrong"_s},
        {"admin", {}, {pw, fx.path(u"none.txt"_s)}, k, no, u"cannot read the password file"_s},
        {"admin", {}, {pw, fx.path(u"fifo"_s)}, k, no, u"fifo: not a regular file"_s},
        {"wrong", u"x\n"_s, {pw, fx.path(u"pw.txt"_s)}, k, BatchStatus::Done, {}},
        {QByteArray(), u"admin\n"_s, {}, k, BatchStatus::Done, {}},
    };
    // clang-format on
    addCustomers(1);
    VdbAdmin(fx.path(k)).addUser(u"MEIER"_s, u"meier"_s, false, false, PasswordCost::Minimal);
    VdbAdmin(fx.path(k)).addUser(u"LANG"_s, u"lang"_s, true, false, PasswordCost::Minimal);
    writeFile(fx.path(u"pw.txt"_s), "admin\r\nsecond line\r\n");
    ::mkfifo(QFile::encodeName(fx.path(u"fifo"_s)).constData(), 0600);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message.toStdString());
        const ScopedEnv password("VDB_PASSWORD", c.environment);
        const BatchRun run = runBatch(QStringList{fx.path(c.fileName), u"--user"_s, c.user,
                                                  u"--field"_s, u"Kunden"_s, u"Telefon"_s} +
                                          c.options,
                                      environment, c.input);
        EXPECT_EQ(run.status, c.status) << run.err.toStdString();
        if (c.status == BatchStatus::NoLogin) {
            EXPECT_TRUE(run.out.isEmpty());
            EXPECT_TRUE(run.err.startsWith(u"telnormer-batch: "_s));
            EXPECT_TRUE(run.err.contains(c.message)) << run.err.toStdString();
            EXPECT_FALSE(run.outcome.run.has_value());
        }
    }
}

TEST_F(TelnormerBatchTest, ProgressIsDrawnOnATerminalOnly) {
    addCustomers(30);
    const QStringList options{u"--field"_s, u"Kunden"_s, u"Telefon"_s};
    environment.terminal = true;
    environment.columns = 120;
    const BatchRun drawn = batch(options);
    ASSERT_EQ(drawn.status, BatchStatus::Done);
    const QStringList drawings = drawn.err.split(u'\r', Qt::SkipEmptyParts);
    ASSERT_GE(drawings.size(), 3) << drawn.err.toStdString();
    EXPECT_TRUE(drawings[drawings.size() - 2].startsWith(u"[########################] 100%"_s));
    // Blanked out at the end; the summary stays on standard output.
    EXPECT_EQ(drawings.last().trimmed(), QString());
    EXPECT_TRUE(drawn.out.startsWith(u"30 record(s) converted.\n"_s));
}

// The program waits for the next second rather than fail on the last run's log.
TEST_F(TelnormerBatchTest, RunsInTheSameSecondGetTheirOwnLogs) {
    addCustomers(2);
    environment.clock = [] {
        return QDateTime::currentDateTime();
    };
    for (const QStringList& options : {QStringList{u"--field"_s, u"Kunden"_s, u"Telefon"_s},
                                       QStringList{u"--prefix"_s, u"T"_s, u"--dry-run"_s}}) {
        const BatchRun first = batch(options);
        const BatchRun second = batch(options);
        EXPECT_EQ(second.status, BatchStatus::Done) << second.err.toStdString();
        EXPECT_NE(first.outcome.logPath, second.outcome.logPath);
    }
}

// Cells a spreadsheet would run as formulas are written as text. A NUL, which the field cannot
// take back, leaves its value as it is, named in the log and the report; the run goes on. A value
// its field refuses and one in another layout are listed too; --uniform rewrites the latter.
TEST_F(TelnormerBatchTest, ReportListsTheValuesLeftUnchanged) {
    VdbFixture::insert(
        file, u"Kunden"_s, {u"ID"_s, u"Name"_s, u"Telefon"_s, u"Mobil"_s, u"Telefax"_s},
        {{1, u"Eins"_s, u"030 1234567, 030 7654321"_s, u"030 1234567"_s, u"030 22222-333333"_s},
         {2, u"@SUM(A1)"_s, u"030 1234567"_s, u"+49 171 7654321"_s, QVariant()},
         {3, u"=1+2"_s, u"+49 30 1234567, 030 7654321"_s, u"0171 7654321"_s, QVariant()}});
    {
        SqliteConnection raw;
        ASSERT_EQ(raw.open(file, SQLITE_OPEN_READWRITE), SQLITE_OK);
        raw.exec(u"UPDATE Kunden SET Telefon = CAST(X'3033300031' AS TEXT) WHERE ID = 2"_s);
    }
    ::chmod(QFile::encodeName(file).constData(), 0640);
    const QString report = fx.path(u"left.csv"_s);
    const BatchRun run =
        batch({u"--field"_s, u"Kunden"_s, u"Telefon"_s, u"--field"_s, u"Kunden"_s, u"Mobil"_s,
               u"--field"_s, u"Kunden"_s, u"Telefax"_s, u"--report"_s, report});
    ASSERT_EQ(run.status, BatchStatus::Done) << run.err.toStdString();
    EXPECT_EQ(run.outcome.run->unreadable, 3);
    EXPECT_EQ(run.outcome.run->converted, 2);
    const char expected[] =
        "table,record key,record label,field,value,reason,country\r\n"
        "Kunden,1,Eins,Telefon,\"030 1234567, 030 7654321\",two-numbers,\r\n"
        "Kunden,1,Eins,Telefax,030 22222-333333,\"refused-by-condition: length(\"\"Telefax\"\") <= "
        "16\",\r\n"
        "Kunden,2,'@SUM(A1),Telefon,030\\01,invalid-bytes,\r\n"
        "Kunden,2,'@SUM(A1),Mobil,'+49 171 7654321,layout-only: +49 (171) 7654321,\r\n"
        "Kunden,3,'=1+2,Telefon,\"'+49 30 1234567, 030 7654321\",two-numbers,\r\n";
    EXPECT_EQ(readFile(report), QByteArray(expected, sizeof expected - 1))
        << readFile(report).toHex().toStdString();
    EXPECT_TRUE(readFile(run.outcome.logPath)
                    .contains("\r\nRecord: @SUM(A1)\r\nID: 2\r\nField Telefon: left unchanged "
                              "(invalid bytes, 5 characters)\r\n"));
    struct stat info {};
    ::stat(QFile::encodeName(report).constData(), &info);
    EXPECT_EQ(info.st_mode & 0777, 0640);
    const BatchRun uniform = batch({u"--field"_s, u"Kunden"_s, u"Mobil"_s, u"--uniform"_s});
    EXPECT_EQ(uniform.outcome.run->converted, 1);
    EXPECT_EQ(storedValues(file, u"Kunden"_s, u"Mobil"_s, u"ID"_s)[1], u"+49 (171) 7654321"_s);
}

// A country field: each record's national number is read in its country, an unknown country
// leaves it and reports it.
TEST_F(TelnormerBatchTest, CountryFieldReadsEachRecordInItsCountry) {
    addSecond({{u"Frankreich"_s, {}, u"01 42 68 53 00"_s, {}},
               {u"CH"_s, {}, u"044 668 18 00"_s, {}},
               {QString(), {}, u"030 1234567"_s, {}},
               {u"Atlantis"_s, {}, u"030 1234567"_s, {}}});
    const QString report = fx.path(u"left.csv"_s);
    const BatchRun run = batch({u"--field"_s, u"Zweite"_s, u"Telefon"_s, u"--country-field"_s,
                                u"Zweite"_s, u"Notiz"_s, u"--report"_s, report});
    ASSERT_EQ(run.status, BatchStatus::Done) << run.err.toStdString();
    EXPECT_EQ(storedValues(file, u"Zweite"_s, u"Telefon"_s),
              (QStringList{u"+33 (1) 42685300"_s, u"+41 (44) 6681800"_s, u"+49 (30) 1234567"_s,
                           u"030 1234567"_s}));
    EXPECT_TRUE(readFile(report).endsWith(",Telefon,030 1234567,unknown-country,Atlantis\r\n"));
    const QByteArray log = readFile(run.outcome.logPath);
    EXPECT_TRUE(log.contains("\r\nCountry: FR\r\nField Telefon: 01 42 68 53 00 -> +33 (1) 4"));
    EXPECT_FALSE(log.contains("Country: DE")) << log.toStdString();
}

} // namespace
