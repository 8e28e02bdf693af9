#include "CsvLine.h"

using namespace Qt::StringLiterals;

namespace {

constexpr char16_t kBom = 0xFEFF;

bool needsQuotes(const QString& text) {
    if (text.isEmpty())
        return true;
    for (const QChar c : text) {
        if (c == u',' || c == u'"' || c == u'\r' || c == u'\n')
            return true;
    }
    return text.front().isSpace() || text.back().isSpace() || text.front() == QChar(kBom);
}

} // namespace

QString csvLine(const QList<std::optional<QString>>& cells) {
    QString line;
    for (qsizetype i = 0; i < cells.size(); ++i) {
        if (i > 0)
            line += u',';
        if (!cells[i])
            continue;
        const QString& text = *cells[i];
        if (!needsQuotes(text)) {
            line += text;
            continue;
        }
        line += u'"';
        for (const QChar c : text) {
            if (c == u'"')
                line += u'"';
            line += c;
        }
        line += u'"';
    }
    line += u"\r\n"_s;
    return line;
}
