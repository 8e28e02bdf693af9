#include "BatchCommandLine.h"
#include "BatchTestSupport.h"
#include "StringConversions.h"
#include "StringTable.h"
#include "VdbFixture.h"

#include <QDir>
#include <QProcess>

#include <array>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

TEST(BatchArguments, AreRefusedBeforeAnythingIsOpened) {
    struct Case {
        QStringList args; // "F" stands for a real database file
        QString message;
    };
    const QString user = u"--user=ADMIN"_s;
    // clang-format off
    const Case cases[] = {
        {{}, u"no database file given"_s},
        {{u"F"_s}, u"no user given"_s},
        {{u"F"_s, u"--user="_s}, u"no user given"_s},
        {{u"F"_s, u"--user"_s}, u"Missing value after '--user'."_s},
        {{u"F"_s, user, u"admin"_s}, u"too many arguments: 1 besides the database file, not shown"_s},
        {{u"F"_s, user, u"--password"_s, u"x"_s}, u"passwords are not taken from the command line"_s},
        {{u"F"_s, user, u"-p"_s, u"x"_s}, u"passwords are not taken from the command line"_s},
        {{u"F"_s, user, u"-admin"_s}, u"unknown option (the argument is not shown"_s},
        {{u"F"_s, user, u"--geheim=admin"_s}, u"unknown option (the argument is not shown"_s},
        {{u"F"_s, u"--user"_s, u"A"_s, u"--user"_s, u"B"_s}, u"the option --user is given twice"_s},
        {{u"F"_s, user, u"--only-marked=yes"_s}, u"Unexpected value after '--only-marked'."_s},
        {{u"F"_s, user, u"--dry-run"_s, u"--dry-run"_s}, u"the option --dry-run is given twice"_s},
        {{u"F"_s, user, u"--undo=j.jsonl"_s, u"--field"_s, u"K"_s, u"T"_s}, u"--undo takes its fields from the journal"_s},
        {{u"F"_s, user, u"--undo=j.jsonl"_s, u"--only-marked"_s}, u"--undo takes its fields from the journal"_s},
        {{u"F"_s, user, u"--undo=j.jsonl"_s, u"--uniform"_s}, u"--undo takes its fields from the journal"_s},
        {{u"F"_s, user, u"--on-error"_s, u"admin"_s}, u"--on-error takes continue, stop or rollback\n"_s},
        {{u"F"_s, user, u"--on-error=Stop"_s}, u"--on-error takes continue, stop or rollback"_s},
        {{u"F"_s, user, u"--threads=0"_s}, u"--threads needs a whole number from 1 to 256"_s},
        {{u"F"_s, user, u"--field"_s, u"Kunden"_s}, u"--field needs a table and a field"_s},
        {{u"F"_s, user, u"--field=Kunden"_s}, u"--field takes two values"_s},
        {{u"F"_s, user, u"--field"_s, u"Kunden"_s, u""_s}, u"--field needs a table and a field that are not empty"_s},
        {{u"F"_s, user, u"--field"_s, u"K"_s, u"T"_s, u"--field"_s, u"K"_s, u"T"_s}, u"the field K T is given twice"_s},
        {{u"F"_s, user, u"--field"_s, u"/n%s"_s, u"%1"_s, u"--field"_s, u"/n%s"_s, u"%1"_s}, u"the field /n%s %1 is given twice\n"_s},
        {{u"F"_s, user, u"--field"_s, u"Kunden"_s, u"Telefon"_s, u"--prefix"_s, u"Tel"_s}, u"--field and --prefix exclude each other"_s},
        {{u"F"_s, user, u"--prefix="_s}, u"--prefix needs a prefix that is not empty"_s},
        {{u"F"_s, user, u"--report="_s}, u"--report needs a file name"_s},
        {{u"F"_s, user, u"--run"_s, u"1"_s}, u"--run names a run of the journal of --undo: without --undo"_s},
        {{u"F"_s, user, u"--undo=j.jsonl"_s, u"--run=0"_s}, u"--run needs a whole number from 1\n"_s},
        {{u"F"_s, user, u"--undo=j.jsonl"_s, u"--run"_s, u"99999999999999999999"_s}, u"--run needs a whole number from 1\n"_s},
        {{u"F"_s, user, u"xxuser"_s, u"--field"_s, u"K"_s, u"T"_s}, u"too many arguments: 1 besides"_s},
        {{u"postgresql://u:geheim@/db"_s, user}, u"the server address holds a password, which every user"_s},
        // Found only once the database is open: the run itself would pass over it silently.
        {{u"F"_s, user, u"--field"_s, u"kunden"_s, u"Telefon"_s}, u"the database has no table \"kunden\""_s},
        {{u"F"_s, user, u"--country-field"_s, u"Kunden"_s, u"Land"_s}, u"the table \"Kunden\" has no field \"Land\""_s},
        {{u"F"_s, user, u"--country-field"_s, u"K"_s, u"A"_s, u"--country-field"_s, u"K"_s, u"B"_s}, u"--country-field is given twice for the table K"_s},
        {{u"F"_s, user, u"--country-field=K"_s}, u"--country-field takes two values"_s},
        {{u"F"_s, user, u"--undo=j.jsonl"_s, u"--country-field"_s, u"K"_s, u"L"_s}, u"--undo takes its fields from the journal"_s},
        {{u"F"_s, user, u"--field"_s, u"K\x1b\n"_s, u"T"_s}, u"the database has no table \"K\\x1B\\n\"\n"_s},
    };
    // clang-format on
    VdbFixture fx;
    const QString file = fx.create(u"a.vdb"_s, schemaOf({tableOf(u"Kunden"_s, {u"Telefon"_s})}));
    VdbFixture::insert(file, u"Kunden"_s, {u"Telefon"_s}, {{u"030 1234567"_s}});
    // A password at hand in both places: the refusal must not depend on its absence.
    const ScopedEnv password("VDB_PASSWORD", "admin");
    setUiLanguageOverride(UiLanguage::English);
    for (const Case& c : cases) {
        QStringList args = c.args;
        for (QString& arg : args)
            arg = arg == u"F"_s ? file : arg;
        SCOPED_TRACE(args.join(u' ').toStdString());
        const BatchRun run = runBatch(args, {}, u"admin\n"_s);
        EXPECT_EQ(run.status, BatchStatus::Usage);
        EXPECT_TRUE(run.out.isEmpty()) << run.out.toStdString();
        EXPECT_TRUE(run.err.startsWith(u"telnormer-batch: "_s + c.message))
            << run.err.toStdString();
        EXPECT_TRUE(run.err.endsWith(u"Try 'telnormer-batch --help'.\n"_s));
        // Arguments that are refused may be the password typed by mistake: never echoed.
        EXPECT_FALSE(run.err.contains(u"admin"_s)) << run.err.toStdString();
        EXPECT_FALSE(run.outcome.run.has_value());
        EXPECT_FALSE(QDir(fx.path(u"Logs"_s)).exists());
    }
    setUiLanguageOverride(std::nullopt);
}

TEST(BatchArguments, HelpWinsOverMistakes) {
    for (const QStringList& args : {QStringList{u"-h"_s}, QStringList{u"--field"_s, u"--help"_s},
                                    QStringList{u"x.vdb"_s, u"--bad"_s, u"-h"_s}}) {
        const BatchRun run = runBatch(args);
        EXPECT_EQ(run.status, BatchStatus::Done) << args.join(u' ').toStdString();
        EXPECT_TRUE(run.err.isEmpty()) << run.err.toStdString();
        EXPECT_TRUE(run.out.startsWith(u"Usage: telnormer-batch"_s));
    }
    const BatchRun version = runBatch({u"x.vdb"_s, u"--version"_s});
    EXPECT_EQ(version.status, BatchStatus::Done);
    EXPECT_TRUE(version.out.startsWith(u"telnormer-batch (Telnormer) " TELNORMER_VERSION "\n"_s));
    // After "--" it is a file name like any other.
    EXPECT_EQ(runBatch({u"--"_s, u"-h"_s}).status, BatchStatus::Usage);
    EXPECT_EQ(runBatch({u"--"_s, u"--version"_s}).status, BatchStatus::Usage);
}

// A byte the encoding cannot take back would turn a path into another one (it becomes U+FFFD).
TEST(BatchArguments, NotValidInTheSystemsEncodingIsRefused) {
    QProcess shell;
    shell.start(u"/bin/sh"_s, {u"-c"_s, u"exec \"$0\" \"$(printf 'x\\377.vdb')\" --user A"_s,
                               QString::fromUtf8(TELNORMER_BATCH_PATH)});
    shell.closeWriteChannel();
    ASSERT_TRUE(shell.waitForFinished());
    EXPECT_EQ(shell.exitCode(), BatchStatus::Usage);
    EXPECT_TRUE(
        shell.readAllStandardError().startsWith("telnormer-batch: an argument is not valid"));
}

// The help and the messages speak the language the window would; the manual page is made with
// LANGUAGE=en. Rows: the environment, the argument, the start of what is said.
TEST(BatchArguments, SpeakTheUserInterfaceLanguage) {
    // clang-format off
    const std::array<std::array<const char*, 3>, 8> rows{{
        {"LANG=de_DE.UTF-8", "--help", "Aufruf: telnormer-batch DATEI.vdb --user NAME"},
        {"LANG=de_DE.UTF-8", "x.vdb", "telnormer-batch: kein Benutzer angegeben: --user NAME\nMehr mit 'telnormer-batch"},
        {"LANG=de_DE.UTF-8 LANGUAGE=en", "--help", "Usage: telnormer-batch FILE.vdb --user NAME"},
        {"LANG=C.UTF-8", "x.vdb", "telnormer-batch: no user given: --user NAME\nTry"},
        {"LANG=de_DE.UTF-8", "x.vdb --user A --bogus", "telnormer-batch: unbekannte Option (das Argument wird nicht gezeigt"},
        {"LANG=de_DE.UTF-8", "x.vdb --user", "telnormer-batch: Fehlender Wert nach '--user'.\nMehr mit"},
        {"LANG=de_DE.UTF-8", "x.vdb --user A --password-file /n%s", "telnormer-batch: die Kennwortdatei /n%s lässt sich nicht lesen: "},
        {"LANG=de_DE.UTF-8", "x.vdb --user A --report x.vdb", "telnormer-batch: der Bericht x.vdb würde eine Datei ersetzen"},
    }};
    // clang-format on
    for (const auto& [environment, arg, said] : rows) {
        QProcess batch;
        batch.start(u"/bin/sh"_s,
                    {u"-c"_s,
                     u"exec env -u LC_ALL -u LC_MESSAGES -u LANGUAGE %1 \"$0\" %2 2>&1"_s.arg(
                         QString::fromLatin1(environment), QString::fromLatin1(arg)),
                     QString::fromUtf8(TELNORMER_BATCH_PATH)});
        ASSERT_TRUE(batch.waitForFinished());
        const QString out = QString::fromUtf8(batch.readAllStandardOutput());
        EXPECT_TRUE(out.startsWith(QString::fromUtf8(said)))
            << environment << arg << out.toStdString();
    }
}

// An option that takes a value takes the next argument whatever it looks like.
TEST(BatchArguments, ValueOfAnOptionIsNeverReadAsField) {
    const BatchCommandLine commandLine(
        {u"f.vdb"_s, u"--user"_s, u"--field"_s, u"--prefix"_s, u"--field"_s});
    EXPECT_EQ(commandLine.user(), u"--field"_s);
    EXPECT_EQ(commandLine.prefix(), std::optional<QString>(u"--field"_s));
    EXPECT_TRUE(commandLine.fields().isEmpty());
    const BatchCommandLine fields({u"--field"_s, u"A"_s, u"-x"_s, u"f.vdb"_s, u"--field"_s, u"B"_s,
                                   u"--user"_s, u"--user"_s, u"U"_s});
    EXPECT_EQ(fields.fields(), (QList<FieldPair>{{u"A"_s, u"-x"_s}, {u"B"_s, u"--user"_s}}));
    EXPECT_EQ(fields.user(), u"U"_s);
    EXPECT_EQ(fields.file(), u"f.vdb"_s);
}

} // namespace
