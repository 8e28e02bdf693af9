#include "Csv.h"
#include "StringConversions.h"
#include "ToolError.h"

#include <QBuffer>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

// Cells written compactly: N for Null, "q:" prefix for a quoted cell, else the plain text.
QStringList describe(const CsvRecord& record) {
    QStringList cells;
    for (const CsvCell& cell : record.cells)
        cells << (cell.isNull() ? u"N"_s : (cell.quoted ? u"q:"_s : QString()) + cell.text);
    return cells;
}

struct Parsed {
    QList<QStringList> records;
    QList<qint64> lines;
    QString error;
};

Parsed parse(QByteArray data) {
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    CsvReader reader(buffer);
    Parsed parsed;
    CsvRecord record;
    try {
        for (; reader.next(record); parsed.lines << record.line)
            parsed.records << describe(record);
    } catch (const ToolError& e) {
        parsed.error = e.message();
    }
    return parsed;
}

TEST(Csv, ReadsTheRfc4180Forms) {
    // clang-format off
    struct Case { const char* what; QByteArray input; QList<QStringList> records; QList<qint64> lines; };
    const Case cases[] = {
        {"empty file", "", {}, {}},
        {"LF", "a,b\nc,d\n", {{u"a"_s, u"b"_s}, {u"c"_s, u"d"_s}}, {1, 2}},
        {"CRLF, no final line end", "a,b\r\nc,d", {{u"a"_s, u"b"_s}, {u"c"_s, u"d"_s}}, {1, 2}},
        {"CR only", "a\rb\r", {{u"a"_s}, {u"b"_s}}, {1, 2}},
        {"Null and empty text", "A,B,C\n,\"\",x\n", {{u"A"_s, u"B"_s, u"C"_s}, {u"N"_s, u"q:"_s, u"x"_s}}, {1, 2}},
        {"trailing comma is a Null cell", "a,\n", {{u"a"_s, u"N"_s}}, {1}},
        {"empty line is one Null cell", "a\n\nb\n", {{u"a"_s}, {u"N"_s}, {u"b"_s}}, {1, 2, 3}},
        {"doubled quotes, comma, CRLF and LF inside quotes", "\"say \"\"hi\"\", ok\",\"x\r\ny\nz\"\nnext\n", {{u"q:say \"hi\", ok"_s, u"q:x\r\ny\nz"_s}, {u"next"_s}}, {1, 4}},
        {"blanks are kept", " a , b \n", {{u" a "_s, u" b "_s}}, {1}},
        {"BOM skipped once", "\xEF\xBB\xBF" "a\n", {{u"a"_s}}, {1}},
        {"a second BOM is text", "\xEF\xBB\xBF\xEF\xBB\xBF" "a\n", {{QChar(0xFEFF) + u"a"_s}}, {1}},
        {"U+FEFF starting the second read chunk is text", QByteArray(65535, 'a') + "\n\xEF\xBB\xBF" "b\n", {{QString(65535, u'a')}, {QChar(0xFEFF) + u"b"_s}}, {1, 2}},
        {"UTF-8", "Köln,Straße,\xF0\x9F\x93\x9E\n", {{u"Köln"_s, u"Straße"_s, u"📞"_s}}, {1}},
        {"quoted cell at end without line end", "a,\"b\"", {{u"a"_s, u"q:b"_s}}, {1}},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Parsed parsed = parse(c.input);
        EXPECT_EQ(parsed.records, c.records);
        EXPECT_EQ(parsed.lines, c.lines);
        EXPECT_EQ(parsed.error, QString());
    }
}

TEST(Csv, RefusesMalformedInputNamingTheLine) {
    // clang-format off
    struct Case { const char* what; QByteArray input; QString start; };
    const Case cases[] = {
        {"quote in an unquoted cell", "a\nb\"c\n", u"line 2: a quote inside an unquoted"_s},
        {"text after the closing quote", "\"a\"b\n", u"line 1: text after the closing quote"_s},
        {"unclosed quote names where it starts", "a\n\"b\nc\nd", u"line 2: a quoted cell"_s},
        {"Latin-1 umlaut", "a\nK\xF6ln\n", u"line 2: the file is not UTF-8"_s},
        {"overlong encoding", "\xC0\xAF\n", u"line 1: the file is not UTF-8"_s},
        {"cut sequence at the end", "a\n\xE2\x82", u"line 2: the file is not UTF-8"_s},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QString error = parse(c.input).error;
        EXPECT_TRUE(error.startsWith(c.start)) << error.toStdString();
    }
}

TEST(Csv, MultiByteCharactersAcrossReadChunksSurvive) {
    // 65,536 bytes are read at a time: a run of odd-length prefixes puts "€" (3 bytes) and a
    // four-byte character across every possible boundary position.
    QByteArray data;
    QList<QStringList> expected;
    for (int i = 0; data.size() < 300000; ++i) {
        const QByteArray cell = QByteArray(i % 5, 'x') + "\xE2\x82\xAC\xF0\x9F\x93\x9E";
        data += cell + "\n";
        expected << QStringList{QString::fromUtf8(cell)};
    }
    EXPECT_EQ(parse(data).records, expected);
}

} // namespace
