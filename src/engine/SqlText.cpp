#include "SqlText.h"

#include <QStringDecoder>

#include <algorithm>

using namespace Qt::StringLiterals;

QString decodeUtf8(QByteArrayView bytes, bool* valid) {
    // Most stored texts are plain ASCII, valid and without a byte-order mark by definition.
    if (std::all_of(bytes.cbegin(), bytes.cend(), [](char c) { return (c & 0x80) == 0; })) {
        if (valid != nullptr)
            *valid = true;
        return QString::fromLatin1(bytes);
    }
    // QString::fromUtf8 drops a leading U+FEFF: a stored value keeps every character.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless |
                                                     QStringDecoder::Flag::ConvertInitialBom);
    QString text = decoder.decode(bytes);
    if (valid != nullptr)
        *valid = !decoder.hasError();
    return text;
}

QString quoteIdentifier(const QString& name) {
    QString quoted = name;
    quoted.replace(u'"', u"\"\""_s);
    return u'"' + quoted + u'"';
}
