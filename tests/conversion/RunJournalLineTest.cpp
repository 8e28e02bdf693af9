#include "RunJournal.h"

#include "ErrorRecord.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

using namespace Qt::StringLiterals;

namespace {

// Every line is the compact JSON array of its entry's texts and reads back exactly, without the
// changes taken back. A write that fills the disk takes back its half line; a line cut off at the
// end is said to be; the same place changed twice is put back to its first value.
TEST(RunJournalLine, IsTheJsonOfItsTextsAndReadsBack) {
    // clang-format off
    const QList<JournalEntry> entries{
        {u"Kunden"_s, u"17"_s, u"Telefon"_s, u"030 1234567"_s, u"+49 (30) 1234567"_s},
        {u"K"_s, u"1"_s, u"F"_s, QString(), u""_s},
        {u"K"_s, u"1"_s, u"F"_s, u"Tel. \"Zentrale\" 030"_s, u"030\\1"_s},
        {u"K"_s, u"1"_s, u"F"_s, u"a\tb"_s, u"030 1\u007f"_s},
        {u"Kunden"_s, u"17"_s, u"Telefon"_s, u"Büro 030\u00a01"_s, u"\U0001F4DE 030 1"_s},
    };
    // clang-format on
    QTemporaryDir dir;
    const QString path = dir.filePath(u"j.jsonl"_s);
    RunJournal journal;
    journal.open(path, u"d.vdb"_s);
    journal.write(entries[0]);
    EXPECT_THROW(journal.flush(), ErrorRecord); // no run has begun
    journal.runFields({});
    for (const JournalEntry& e : entries) {
        journal.write(e);
        journal.write(e);
        journal.flush();
        journal.markUndone(1);
    }
    const qint64 size = QFileInfo(path).size();
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    const rlimit full{rlim_t(size + 20), limit.rlim_max};
    setrlimit(RLIMIT_FSIZE, &full);
    journal.write({u"K"_s, u"9"_s, u"F"_s, QString(100, u'x'), u"y"_s});
    EXPECT_THROW(journal.flush(), ErrorRecord);
    setrlimit(RLIMIT_FSIZE, &limit);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    const QList<QByteArray> lines = file.readAll().split('\n');
    file.write(R"(["Kunden","3","Tel)");
    file.close();
    const QList<JournalEntry> read = RunJournal::read(path);
    ASSERT_EQ(read.size(), entries.size());
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const JournalEntry& e = entries[i];
        EXPECT_EQ(lines[2 + 3 * i],
                  QJsonDocument(QJsonArray{e.table, e.key, e.field, e.oldValue, e.newValue})
                      .toJson(QJsonDocument::Compact));
        EXPECT_EQ(QStringList({read[i].table, read[i].key, read[i].field, read[i].oldValue,
                               read[i].newValue}),
                  QStringList({e.table, e.key, e.field, e.oldValue, e.newValue}));
    }
    EXPECT_TRUE(lines.last().isEmpty()); // the long line is gone whole
    UndoPlan plan;
    plan.read(path);
    EXPECT_TRUE(plan.facts().cutOff);
    const JournalEntry* first = plan.find(u"Kunden"_s, u"17"_s, u"Telefon"_s);
    EXPECT_EQ(first->oldValue + first->newValue, entries[0].oldValue + entries[4].newValue);
}

// A journal's runs: marked and numbered since version 2, one a header before. Lines: H1/H2 a
// header, Rn a run mark, F an old fields line, K a run that cannot key its records, Un takes back
// n changes, X a line cut off (Y a mark), a letter a change to that value. Part: 0 the last run, n
// run n, -1 all, @n the run at the nth line. Read: the values put back in order, or the error's
// end.
TEST(RunJournalLine, ReadsOneRunOrAllOfThem) {
    struct Row {
        const char* lines;
        const char* part;
        const char* read;
        qint64 runs; // the journal's runs as the read counts them
        bool cutOff = false;
    };
    // clang-format off
    const Row rows[] = {
        {"H2 R1 a R2 b c U1 R3 d", "0", "d", 3},
        {"H2 R1 a R2 b c U1 R3 d", "1", "a", 3},
        {"H2 R1 a R2 b c U1 R3 d", "2", "b", 3},
        {"H2 R1 a R2 b c U1 R3 d", "4", "", 3},
        {"H2 R1 a R2 b c U1 R3 d", "-1", "abd", 3},
        {"H2 R1 a R2 b c U1 R3 d", "@4", "b", 0}, // the window reads its own run as written
        {"H2 R1 a R2 b c U1 R3 d", "@3", " at byte 89, line 1: not the start of a run", 0},
        {"H2 R1 a", "@4", " at byte 113, line 0: not the start of a run", 0}, // past the end
        {"H1 F a b U1 F c", "0", "ac", 1},         // before runs were marked: one run a header
        {"H1 F a H1 F b", "1", "a", 2},
        {"H1 F a H1 F b", "-1", "ab", 2},
        {"H2 R1 a R2 b X", "0", "b", 2, true},   // a run killed mid-line, then read
        {"H2 R1 a X", "0", "a", 1, true},
        {"H2 R1 a R2 b Y", "0", "b", 2},         // the next run's mark: no change is missing
        {"H2 R1 a R2 b X", "1", "a", 2},
        {"H2 R1 a a R2 b", "1", "aa", 2},
        {"H2 R1 a H2 R1 b", "1", "a", 2},         // a header ends the run before it, however read
        {"H2 R1 a H2 R1 b", "@2", "a", 0},
        {"H2 R1 K U9", "0", "", 1},                // it counted changes it could not journal
        {"H2 R1 a R2 K b U5", "-1", "ab", 2},
        {"H2", "0", "", 0},
        {"H2 a R1 b", "0", ", line 2: not a journal line", 0}, // forged or misplaced marks
        {"H2 R1 a R3 b", "0", ", line 4: not a journal line", 0},
        {"H2 R1 a R1 b", "-1", ", line 4: not a journal line", 0},
        {"H1 F a R2 b", "0", ", line 4: not a journal line", 0},
        {"H2 R1 a R2 U1", "-1", ", line 5: not a journal line", 0},
        {"H2 R1 a R99999999999999999999 b", "0", ", line 4: not a journal line", 0},
        {"R1 a", "0", ", line 1: not a Telnormer journal", 0},
        {"H3 R1 a", "0", ", line 1: not a Telnormer journal", 0},
    };
    // clang-format on
    QTemporaryDir dir;
    const QString path = dir.filePath(u"j.jsonl"_s);
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.lines) + " / " + row.part);
        QByteArray text;
        QList<qint64> starts;
        for (const QByteArray& token : QByteArray(row.lines).split(' ')) {
            starts << text.size();
            const QByteArray n = token.mid(1);
            if (token[0] == 'H')
                text += R"({"format":"telnormer-journal","version":)" + n + R"(,"database":"d"})";
            else if (token[0] == 'R')
                text += R"({"run":)" + n + R"(,"fields":[["T","F"]]})";
            else if (token == "K")
                text += R"({"unkeyed":true})";
            else if (token == "F")
                text += R"({"fields":[["T","F"]]})";
            else if (token[0] == 'U')
                text += R"({"undone":)" + n + '}';
            else if (token == "X" || token == "Y")
                text += token == "X" ? R"(["T","9","F","x)" : R"({"run":3,"fi)";
            else
                text += R"(["T","1","F","old",")" + token + R"("])";
            text += token == "X" || token == "Y" ? "" : "\n";
        }
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
        file.close();
        const QByteArray part(row.part);
        const JournalPart which =
            part.startsWith('@')
                ? JournalPart::at(starts.value(part.mid(1).toInt() - 1, text.size()))
                : JournalPart{part.toLongLong(), -1};
        QString read;
        try {
            const JournalFacts facts = RunJournal::read(
                path, [&read](JournalEntry&& e) { read += e.newValue; }, nullptr, which);
            EXPECT_EQ(facts.runs, row.runs);
            EXPECT_EQ(facts.cutOff, row.cutOff);
            EXPECT_EQ(facts.run == 0, which.run > row.runs || which.run < 0 || row.runs == 0);
            EXPECT_EQ(facts.databases.size(), which.offset >= 0 ? 0
                                              : which.run < 0   ? QByteArray(row.lines).count('H')
                                                                : facts.run > 0);
        } catch (const ErrorRecord& error) {
            read = error.description().mid(path.size());
        }
        EXPECT_EQ(read, QString::fromLatin1(row.read));
    }
}

} // namespace
