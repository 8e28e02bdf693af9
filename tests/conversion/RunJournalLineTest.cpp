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

// Every line is the compact JSON array of its entry's texts, whichever way it was written.
TEST(RunJournalLine, IsTheJsonOfItsTexts) {
    // clang-format off
    const QList<JournalEntry> entries{
        {u"Kunden"_s, u"17"_s, u"Telefon"_s, u"030 1234567"_s, u"+49 (30) 1234567"_s},
        {u"K"_s, u"1"_s, u"F"_s, QString(), u""_s},
        {u"K"_s, u"1"_s, u"F"_s, u"Tel. \"Zentrale\" 030"_s, u"030\\1"_s},
        {u"K"_s, u"1"_s, u"F"_s, u"a\tb"_s, u"030 1\u007f"_s},
        {u"Kunden"_s, u"1"_s, u"Telefon"_s, u"Büro 030\u00a01"_s, u"\U0001F4DE 030 1"_s},
    };
    // clang-format on
    QTemporaryDir dir;
    RunJournal journal;
    journal.open(dir.filePath(u"j.jsonl"_s), u"d.vdb"_s);
    for (const JournalEntry& e : entries)
        journal.write(e);
    journal.flush();
    journal.close();
    QFile file(dir.filePath(u"j.jsonl"_s));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n').mid(1, entries.size());
    ASSERT_EQ(lines.size(), entries.size());
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const JournalEntry& e = entries[i];
        EXPECT_EQ(lines[i],
                  QJsonDocument(QJsonArray{e.table, e.key, e.field, e.oldValue, e.newValue})
                      .toJson(QJsonDocument::Compact));
    }
}

// What is written reads back exactly, without the changes taken back; the same place changed
// twice is put back to its first value; a write that fills the disk takes back its half line, so
// the file reads on, and a line cut off at the end is said to be.
TEST(RunJournalLine, ReadsBackWhatWasWritten) {
    const QList<JournalEntry> entries{
        {u"Kunden"_s, u"1"_s, u"Telefon"_s, u"Büro \"Zentrale\" 030 1"_s, u"+49 (30) 1"_s},
        {u"Kunden"_s, u"2"_s, u"Telefon"_s, u"030 2"_s, u"+49 (30) 2"_s},
        {u"Kunden"_s, u"1"_s, u"Telefon"_s, u"+49 (30) 1"_s, u"+49 (30) 11"_s}};
    QTemporaryDir dir;
    const QString path = dir.filePath(u"j.jsonl"_s);
    RunJournal journal;
    journal.open(path, u"d.vdb"_s);
    journal.runFields({{u"Kunden"_s, u"Telefon"_s}});
    for (const JournalEntry& e : entries) {
        journal.write(e);
        journal.write(e);
        journal.flush();
        journal.markUndone(1);
    }
    // The disk is full a few bytes on: the long line cannot be written whole.
    const qint64 size = QFileInfo(path).size();
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    const rlimit small{rlim_t(size + 20), limit.rlim_max};
    setrlimit(RLIMIT_FSIZE, &small);
    journal.write({u"K"_s, u"9"_s, u"F"_s, QString(100, u'x'), u"y"_s});
    EXPECT_THROW(journal.flush(), ErrorRecord);
    setrlimit(RLIMIT_FSIZE, &limit);
    EXPECT_EQ(QFileInfo(path).size(), size);
    journal.close();
    QList<JournalEntry> read;
    JournalFacts facts = RunJournal::read(path, [&](JournalEntry&& e) { read << e; });
    EXPECT_FALSE(facts.cutOff);
    EXPECT_EQ(facts.databases, QStringList{u"d.vdb"_s});
    ASSERT_EQ(read.size(), entries.size());
    for (qsizetype i = 0; i < read.size(); ++i)
        EXPECT_EQ(read[i].oldValue + read[i].newValue, entries[i].oldValue + entries[i].newValue);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write(R"(["Kunden","3","Tel)");
    file.close();
    UndoPlan plan;
    plan.read(path);
    EXPECT_TRUE(plan.facts().cutOff);
    EXPECT_EQ(plan.find(u"Kunden"_s, u"1"_s, u"Telefon"_s)->oldValue, entries[0].oldValue);
    EXPECT_EQ(plan.find(u"Kunden"_s, u"1"_s, u"Telefon"_s)->newValue, entries[2].newValue);
}

} // namespace
