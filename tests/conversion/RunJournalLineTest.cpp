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
        EXPECT_EQ(lines[1 + 3 * i],
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

} // namespace
