#include "RunJournal.h"
#include "Sqlite.h"
#include "TelnormerBatchFixture.h"
#include "VdbFixture.h"

#include <QFile>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <array>
#include <string_view>

// Undo from a run's journal.

using namespace Qt::StringLiterals;

namespace {

TEST_F(TelnormerBatchTest, UndoPutsBackWhatTheRunChangedAndLeavesLaterChanges) {
    addCustomers(3);
    // The log's text would be ambiguous for this value; the journal is not.
    const QString odd = u"\uFEFFTel. 030 7654321 -> neu\r\nprivat"_s;
    VdbFixture::insert(file, u"Kunden"_s, {u"ID"_s, u"Name"_s, u"Telefon"_s}, {{4, u"K4"_s, odd}});
    const QStringList original = storedValues(file, u"Kunden"_s, u"Telefon"_s);
    const BatchRun first = batch({u"--field"_s, u"Kunden"_s, u"Telefon"_s});
    ASSERT_EQ(first.status, BatchStatus::Done) << first.err.toStdString();
    const QStringList converted = storedValues(file, u"Kunden"_s, u"Telefon"_s);
    ASSERT_EQ(converted.filter(u"+49"_s).size(), 4);
    {
        // Someone changes record 2 after the run.
        const TablePtr t = VdbFixture::open(file)->Tables()->Item(u"Kunden"_s);
        t->MoveFirst(0);
        t->Skip(1, 0);
        t->Fields()->Item(u"Telefon"_s)->SetValue(u"+49 (30) 9999999"_s);
        t->Update(0);
    }
    // A journal others could have written is not undone.
    const QString journal = RunJournal::pathFor(first.outcome.logPath);
    ::chmod(QFile::encodeName(journal).constData(), 0666);
    EXPECT_TRUE(batch({u"--undo"_s, journal}).err.endsWith(u"(others may write to it)\n"_s));
    QFile::link(journal, file + u".jsonl"_s); // nor one through a link someone could have put there
    EXPECT_TRUE(batch({u"--undo"_s, file + u".jsonl"_s}).err.endsWith(u"symbolic link)\n"_s));
    ::chmod(QFile::encodeName(journal).constData(), 0600);
    const BatchRun undo = batch({u"--undo"_s, journal});
    ASSERT_EQ(undo.status, BatchStatus::Done) << undo.err.toStdString();
    EXPECT_TRUE(undo.out.contains(u"\n1 conflict(s)"_s)) << undo.out.toStdString();
    EXPECT_EQ(storedValues(file, u"Kunden"_s, u"Telefon"_s),
              (QStringList{original[0], u"+49 (30) 9999999"_s, original[2], odd}));
    EXPECT_TRUE(readFile(undo.outcome.logPath)
                    .contains("Field Telefon: changed since the run, left as it is: +49 (30) "
                              "9999999 (the run wrote +49 (30) 1000002)\r\n"));
    // In the log a value is one line; the journal keeps it exact.
    EXPECT_TRUE(readFile(undo.outcome.logPath)
                    .contains(" -> \\uFEFFTel. 030 7654321 -> neu\\r\\nprivat\r\n"));
    // The undo has its journal too: undoing it brings the run's values back.
    const BatchRun redo = batch({u"--undo"_s, RunJournal::pathFor(undo.outcome.logPath)});
    ASSERT_EQ(redo.status, BatchStatus::Done) << redo.err.toStdString();
    EXPECT_EQ(storedValues(file, u"Kunden"_s, u"Telefon"_s),
              (QStringList{converted[0], u"+49 (30) 9999999"_s, converted[2], converted[3]}));
}

// A window session's journal holds its runs one after the other, each begun by its mark: the last
// is undone unless --run names another. Three runs (Kunden Telefon, Kunden Mobil, Zweite Tel)
// joined as the window writes them; rows change the journal (from -> to, or: an old one without
// marks; a killed run 2 left a line it never stored and run 3 a line cut off; "twice" undid the run
// before; a record deleted; nullptr: to appended), then undo. Every entry an undo cannot put back
// is counted by why, listed in its log and fails the exit status; a value put back already is no
// conflict. Left: the converted values of the three fields afterwards.
TEST_F(TelnormerBatchTest, UndoTakesTheLastRunOfAJournalOrTheOneNamed) {
    struct Row {
        const char *from, *to;
        QStringList options;
        int status;
        const char* left;
        const char* says; // in the undo's log, or its error
    };
    const QStringList one{u"--run"_s, u"1"_s};
    const int done = BatchStatus::Done, failed = BatchStatus::Stopped;
    // clang-format off
    const Row rows[] = {
        {"", "", {}, done, "220", "Undo of run 3 of 3 from the journal "},
        {"", "", one, done, "021", "Undo of run 1 of 3 from the journal "},
        {"", "", {u"--run"_s, u"4"_s}, BatchStatus::Usage, "221", "holds no run 4: it holds 3 run(s)\n"},
        {"old", "", {}, done, "000", "Undo of run 1 of 1 from the journal "},
        {"killed", "", {u"--run"_s, u"2"_s}, done, "201", "Undo of run 2 of 3"},
        {"killed", "", {}, failed, "220", "could not be put back: last line cut off\r\n"},
        {"twice", "", one, done, "021", "Undo of run 1 of 3"},
        {"delete", "", one, failed, "011", "could not be put back: record gone: 1"},
        {"\"Kunden\",\"1\",\"Telefon\"", "\"Kunden\",\"\",\"Telefon\"", one, failed, "121", "could not be put back: no record key: 1"},
        {"\"Kunden\"", "\"Fehlt\"", one, failed, "221", "could not be put back: unknown table: 2"},
        {"Telefon", "Fax", one, failed, "221", "could not be put back: unknown field: 2"},
        {".vdb\"", ".vdb.copy\"", {}, failed, "221", "could not be put back: journal of another database: 1"},
        {"\"database\":\"", "\"database\":\"/\",\"x\":\"", {}, failed, "221", "could not be put back: journal of another database: 1"},
        {"/Kunden", "/./Kunden", {}, done, "220", "Undo of run 3 of 3"},
        {nullptr, "[\"Kunden\",\"1\",\"Name\",\"Evil\",\"K\"]\n", {}, failed, "220", "could not be put back: not a field a run changes: 1"},
        {"[\"Zweite\",\"1\",\"Tel\",\"030 111\",\"+49 (30) 111\"]", "{\"unkeyed\":true}", {}, failed, "221", "could not be put back: no record key\r\n"},
        {"[\"Zweite\",\"1\",\"Tel\",\"030 111\",\"+49 (30) 111\"]", "{\"unkeyed\":true}\n{\"undone\":10}", {}, failed, "221", "could not be put back: no record key\r\n"},
        {"headers", "", {u"--run"_s, u"2"_s}, done, "201", "Undo of run 2 of 3"},
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.from ? row.from : row.to) +
                     row.options.join(u' ').toStdString());
        renew();
        addCustomers(2);
        addSecond({{u"n"_s, u"030 111"_s, {}, {}}});
        QByteArray joined;
        QString path;
        int run = 0;
        const std::string_view how(row.from ? row.from : "");
        for (const QStringList& field :
             {QStringList{u"Kunden"_s, u"Telefon"_s}, QStringList{u"Kunden"_s, u"Mobil"_s},
              QStringList{u"Zweite"_s, u"Tel"_s}}) {
            const QString journal =
                RunJournal::pathFor(batch(QStringList{u"--field"_s} + field).outcome.logPath);
            QByteArray text = readFile(journal);
            if (run++ == 0)
                path = journal;
            else if (how == "headers") // whole journals one after the other, the last of a copy
                text.replace(".vdb\"", run == 3 ? ".vdb.copy\"" : ".vdb\"");
            else // the window's later runs: no header, the next number
                text = text.mid(text.indexOf('\n') + 1)
                           .replace(",\"run\":1}",
                                    QByteArray(QByteArray(",\"run\":") + char('0' + run) + '}'));
            joined += text;
        }
        SqliteConnection db;
        if (!row.from)
            joined += row.to;
        else if (how == "old")
            joined.replace("\"version\":2", "\"version\":1")
                .replace(",\"run\":1}", "}")
                .replace(",\"run\":2}", "}")
                .replace(",\"run\":3}", "}");
        else if (how == "killed") {
            VdbFixture::insert(file, u"Kunden"_s, {u"ID"_s, u"Mobil"_s}, {{3, u"0171 3"_s}});
            joined.insert(joined.lastIndexOf("{\"fields\""),
                          "[\"Kunden\",\"3\",\"Mobil\",\"0171 3\",\"+49 (171) 3\"]\n");
            joined += "[\"Zweite\",\"1\",\"Te";
        } else if (how == "delete" && db.open(file, SQLITE_OPEN_READWRITE) == 0)
            db.exec(u"DELETE FROM \"Kunden\" WHERE \"ID\" = 2"_s);
        else if (!how.empty() && how != "twice")
            joined.replace(row.from, row.to);
        writeFile(path, joined);
        if (how == "twice")
            batch(QStringList{u"--undo"_s, path} + row.options);
        const BatchRun undo = batch(QStringList{u"--undo"_s, path} + row.options);
        EXPECT_EQ(undo.status, row.status) << undo.err.toStdString();
        EXPECT_EQ(QString::number(convertedIn(u"Kunden"_s, u"Telefon"_s)) +
                      QString::number(convertedIn(u"Kunden"_s, u"Mobil"_s)) +
                      QString::number(convertedIn(u"Zweite"_s, u"Tel"_s)),
                  QString::fromLatin1(row.left));
        const QString said = row.status == BatchStatus::Usage
                                 ? undo.err
                                 : QString::fromUtf8(readFile(undo.outcome.logPath));
        EXPECT_TRUE(said.contains(QString::fromLatin1(row.says))) << said.toStdString();
        EXPECT_EQ(said.contains(u"Not put back ("_s),
                  row.status == failed && !std::string_view(row.says).ends_with('\n'));
        EXPECT_EQ(undo.outcome.run ? undo.outcome.run->conflicts : 0, 0);
        EXPECT_EQ(storedValues(file, u"Kunden"_s, u"Name"_s).first(), u"K"_s);
    }
}

} // namespace
