#pragma once

#include "CsvLine.h"

#include <QByteArray>
#include <QIODevice>
#include <QList>
#include <QString>

#include <optional>

// CSV after RFC 4180 in UTF-8. An unquoted empty cell stands for Null, a quoted empty cell ""
// for the empty text; nothing else about a cell depends on its quotes.

struct CsvCell {
    QString text;
    bool quoted = false;

    bool isNull() const { return !quoted && text.isEmpty(); }
};

struct CsvRecord {
    qint64 line = 0; // the line the record starts on, from 1
    QList<CsvCell> cells;
};

// Reads records one by one from a device, so that big files need little memory. Quoted cells
// may hold commas, doubled quotes and line breaks; lines end with CRLF, LF or CR; a UTF-8 BOM
// at the start is skipped. An empty line is a record of one Null cell. Bad UTF-8, a quote in
// an unquoted cell, text after a closing quote and an unclosed quote throw ToolError with the
// line.
class CsvReader {
public:
    explicit CsvReader(QIODevice& device)
        : device_(device) {}

    // The next record; false at the end of the data.
    bool next(CsvRecord& record);

private:
    int peek() {
        if (pos_ >= buffer_.size() && !fill())
            return -1;
        return buffer_[pos_].unicode();
    }
    bool fill();
    void readQuoted(CsvCell& cell);
    void readPlain(CsvCell& cell);
    [[noreturn]] void error(qint64 line, const QString& what) const;

    QIODevice& device_;
    QString buffer_;
    qsizetype pos_ = 0;
    QByteArray pending_; // the start of a UTF-8 sequence cut by the chunk boundary
    bool started_ = false;
    bool ended_ = false;
    qint64 line_ = 1;
    qint64 rawLines_ = 0; // line feeds decoded so far, for the position of bad UTF-8
};
