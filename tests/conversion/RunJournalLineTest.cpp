#include "RunJournal.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>

#include <gtest/gtest.h>

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

} // namespace
