#include "BatchCommandLine.h"
#include "BatchTestSupport.h"
#include "StringConversions.h"
#include "VdbFixture.h"

#include <QDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

struct UsageCase {
    const char* name;
    QStringList args; // "FILE" stands for a real database file
    QString message;
};

// Names the case in failure messages.
void PrintTo(const UsageCase& c, std::ostream* out) {
    *out << c.name;
}

class BatchArguments : public ::testing::TestWithParam<UsageCase> {};

TEST_P(BatchArguments, AreRefusedBeforeAnythingIsOpened) {
    VdbFixture fx;
    const QString file = fx.create(u"a.vdb"_s, schemaOf({tableOf(u"Kunden"_s, {u"Telefon"_s})}));
    VdbFixture::insert(file, u"Kunden"_s, {u"Telefon"_s}, {{u"030 1234567"_s}});
    QStringList args = GetParam().args;
    args.replaceInStrings(u"FILE"_s, file);
    // A password at hand in both places: the refusal must not depend on its absence.
    const ScopedEnvironment password("VDB_PASSWORD", "admin");
    const BatchRun run = runBatch(args, {}, u"admin\n"_s);
    EXPECT_EQ(run.status(), BatchStatus::Usage);
    EXPECT_TRUE(run.out.isEmpty()) << run.out.toStdString();
    EXPECT_TRUE(run.err.startsWith(u"telnormer-batch: "_s + GetParam().message))
        << run.err.toStdString();
    EXPECT_TRUE(run.err.endsWith(u"Try 'telnormer-batch --help'.\n"_s)) << run.err.toStdString();
    // Arguments that are refused may be the password typed by mistake: never echoed.
    EXPECT_FALSE(run.err.contains(u"admin"_s)) << run.err.toStdString();
    EXPECT_FALSE(run.outcome.run.has_value());
    EXPECT_FALSE(QDir(fx.path(u"Logs"_s)).exists());
}

INSTANTIATE_TEST_SUITE_P(
    Usage, BatchArguments,
    ::testing::Values(
        UsageCase{"NoArguments", {}, u"no database file given"_s},
        UsageCase{"NoFile", {u"--user"_s, u"ADMIN"_s}, u"no database file given"_s},
        UsageCase{"NoUser", {u"FILE"_s}, u"no user given"_s},
        UsageCase{"EmptyUser", {u"FILE"_s, u"--user="_s}, u"no user given"_s},
        UsageCase{"UserWithoutValue", {u"FILE"_s, u"--user"_s}, u"the option --user needs"_s},
        UsageCase{
            "TwoFiles", {u"FILE"_s, u"FILE"_s, u"--user"_s, u"ADMIN"_s}, u"too many arguments"_s},
        UsageCase{"PasswordAsOperand",
                  {u"FILE"_s, u"--user"_s, u"ADMIN"_s, u"admin"_s},
                  u"too many arguments: 1 besides the database file, not shown"_s},
        UsageCase{"PasswordOption",
                  {u"FILE"_s, u"--user"_s, u"ADMIN"_s, u"--password"_s, u"x"_s},
                  u"passwords are not taken from the command line"_s},
        UsageCase{"PasswordShortOption",
                  {u"FILE"_s, u"--user=ADMIN"_s, u"-p"_s, u"x"_s},
                  u"passwords are not taken from the command line"_s},
        UsageCase{"UnknownOption",
                  {u"FILE"_s, u"--user"_s, u"ADMIN"_s, u"-admin"_s},
                  u"unknown option (the argument is not shown"_s},
        UsageCase{"UserTwice",
                  {u"FILE"_s, u"--user"_s, u"A"_s, u"--user"_s, u"B"_s},
                  u"the option --user is given twice"_s},
        UsageCase{"OnlyMarkedWithValue",
                  {u"FILE"_s, u"--user=ADMIN"_s, u"--only-marked=yes"_s},
                  u"the option --only-marked takes no value"_s},
        UsageCase{"UndoWithField",
                  {u"FILE"_s, u"--user=ADMIN"_s, u"--undo=j.jsonl"_s, u"--field"_s, u"K"_s, u"T"_s},
                  u"--undo takes its fields from the journal"_s},
        UsageCase{"UnknownPolicy",
                  {u"FILE"_s, u"--user=ADMIN"_s, u"--on-error"_s, u"admin"_s},
                  u"--on-error takes continue, stop or rollback\n"_s},
        UsageCase{"NoThreads",
                  {u"FILE"_s, u"--user=ADMIN"_s, u"--threads=0"_s},
                  u"--threads needs a whole number from 1 to 256"_s},
        UsageCase{"PolicyInOtherCase",
                  {u"FILE"_s, u"--user=ADMIN"_s, u"--on-error=Stop"_s},
                  u"--on-error takes continue, stop or rollback"_s},
        UsageCase{"FieldWithoutField",
                  {u"FILE"_s, u"--user=ADMIN"_s, u"--field"_s, u"Kunden"_s},
                  u"--field needs a table and a field"_s},
        UsageCase{"FieldWithEquals",
                  {u"FILE"_s, u"--user=ADMIN"_s, u"--field=Kunden"_s},
                  u"--field takes two values"_s},
        UsageCase{"FieldEmptyName",
                  {u"FILE"_s, u"--user=ADMIN"_s, u"--field"_s, u"Kunden"_s, u""_s},
                  u"--field needs a table and a field that are not empty"_s},
        UsageCase{"FieldTwice",
                  {u"FILE"_s, u"--user=ADMIN"_s, u"--field"_s, u"Kunden"_s, u"Telefon"_s,
                   u"--field"_s, u"Kunden"_s, u"Telefon"_s},
                  u"the field Kunden Telefon is given twice"_s},
        UsageCase{"FieldAndPrefix",
                  {u"FILE"_s, u"--user=ADMIN"_s, u"--field"_s, u"Kunden"_s, u"Telefon"_s,
                   u"--prefix"_s, u"Tel"_s},
                  u"--field and --prefix exclude each other"_s},
        UsageCase{"EmptyPrefix",
                  {u"FILE"_s, u"--user=ADMIN"_s, u"--prefix="_s},
                  u"--prefix needs a prefix that is not empty"_s},
        // Found only once the database is open: the run itself would pass over it silently.
        UsageCase{"FieldOfMissingTable",
                  {u"FILE"_s, u"--user=ADMIN"_s, u"--field"_s, u"kunden"_s, u"Telefon"_s},
                  u"the database has no table \"kunden\""_s}),
    [](const ::testing::TestParamInfo<UsageCase>& info) { return std::string(info.param.name); });

TEST(BatchHelp, ExplainsEveryOptionAndStatusAndWinsOverMistakes) {
    for (const QStringList& args :
         {QStringList{u"--help"_s}, QStringList{u"-h"_s}, QStringList{u"--field"_s, u"--help"_s},
          QStringList{u"x.vdb"_s, u"--bad"_s, u"-h"_s}}) {
        const BatchRun run = runBatch(args);
        EXPECT_EQ(run.status(), BatchStatus::Done) << args.join(u' ').toStdString();
        EXPECT_TRUE(run.err.isEmpty());
        for (const QString& word :
             {u"--user NAME"_s, u"--password-file"_s, u"VDB_PASSWORD"_s, u"--field TABLE FIELD"_s,
              u"--prefix P"_s, u"--only-marked"_s, u"--on-error"_s, u"continue"_s, u"rollback"_s,
              u"Telef"_s, u"Logs/Telnormer"_s, u"\n  0  "_s, u"\n  1  "_s, u"\n  2  "_s,
              u"\n  3  "_s, u"\n  4  "_s})
            EXPECT_TRUE(run.out.contains(word)) << word.toStdString();
    }
}

// An option that takes a value takes the next argument whatever it looks like.
TEST(BatchArgumentsParsing, ValueOfAnOptionIsNeverReadAsField) {
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
    EXPECT_EQ(fields.onError(), ErrorPolicy::Stop);
    EXPECT_FALSE(fields.onlyMarked());
}

} // namespace
