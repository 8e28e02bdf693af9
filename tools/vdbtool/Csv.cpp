#include "Csv.h"

#include "ToolError.h"
#include "Utf8.h"

#include <QStringDecoder>

using namespace Qt::StringLiterals;

namespace {

constexpr qint64 kChunkSize = 1 << 16;
constexpr char16_t kBom = 0xFEFF;

} // namespace

void CsvReader::error(qint64 line, const QString& what) const {
    fail(u"line "_s + QString::number(line) + u": "_s + what);
}

bool CsvReader::fill() {
    while (!ended_) {
        QByteArray chunk = pending_;
        const qsizetype kept = chunk.size();
        chunk.resize(kept + kChunkSize);
        const qint64 got = device_.read(chunk.data() + kept, kChunkSize);
        if (got < 0)
            fail(u"cannot read the CSV file: "_s + device_.errorString());
        chunk.resize(kept + got);
        if (got == 0) {
            ended_ = true;
            if (!pending_.isEmpty())
                error(rawLines_ + 1, u"the file is not UTF-8 (save it as \"CSV UTF-8\")"_s);
            return false;
        }
        bool invalid = false;
        const qsizetype valid = validUtf8Prefix(chunk, invalid);
        if (invalid)
            error(rawLines_ + chunk.left(valid).count('\n') + 1,
                  u"the file is not UTF-8 (save it as \"CSV UTF-8\")"_s);
        pending_ = chunk.mid(valid);
        chunk.truncate(valid);
        rawLines_ += chunk.count('\n');
        // QString::fromUtf8 would drop a U+FEFF that starts a chunk: only the file's first is a
        // BOM.
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless |
                                                         QStringDecoder::Flag::ConvertInitialBom);
        buffer_ = decoder.decode(chunk);
        pos_ = 0;
        if (!started_ && !buffer_.isEmpty()) {
            started_ = true;
            if (buffer_.front() == QChar(kBom))
                pos_ = 1;
        }
        if (pos_ < buffer_.size())
            return true;
    }
    return false;
}

void CsvReader::readQuoted(CsvCell& cell) {
    const qint64 start = line_;
    cell.quoted = true;
    ++pos_;
    for (;;) {
        const int c = peek();
        if (c < 0)
            error(start, u"a quoted cell starting here is not closed"_s);
        ++pos_;
        if (c == u'"') {
            if (peek() != u'"')
                break;
            ++pos_;
        } else if (c == u'\n' || (c == u'\r' && peek() != u'\n')) {
            ++line_;
        }
        cell.text += QChar(static_cast<char16_t>(c));
    }
    const int after = peek();
    if (after >= 0 && after != u',' && after != u'\r' && after != u'\n')
        error(line_, u"text after the closing quote of a cell (a quote inside a quoted cell is "
                     "written twice: \"\")"_s);
}

void CsvReader::readPlain(CsvCell& cell) {
    for (int c = peek(); c >= 0 && c != u',' && c != u'\r' && c != u'\n'; c = peek()) {
        if (c == u'"')
            error(line_, u"a quote inside an unquoted cell (quote the cell and write the quote "
                         "twice: \"a\"\"b\")"_s);
        cell.text += QChar(static_cast<char16_t>(c));
        ++pos_;
    }
}

bool CsvReader::next(CsvRecord& record) {
    record.cells.clear();
    if (peek() < 0)
        return false;
    record.line = line_;
    for (;;) {
        CsvCell cell;
        if (peek() == u'"')
            readQuoted(cell);
        else
            readPlain(cell);
        record.cells.append(std::move(cell));
        const int c = peek();
        if (c == u',') {
            ++pos_;
            continue;
        }
        if (c == u'\r') {
            ++pos_;
            if (peek() == u'\n')
                ++pos_;
            ++line_;
        } else if (c == u'\n') {
            ++pos_;
            ++line_;
        }
        return true;
    }
}
