#pragma once

#include <QByteArrayView>
#include <QString>

// Text as both engines' SQL and client libraries hand it over.

// UTF-8 to text keeping a leading U+FEFF; valid (if given) tells whether the bytes were UTF-8.
QString decodeUtf8(QByteArrayView bytes, bool* valid);

// Quotes an identifier for SQL ("a""b").
QString quoteIdentifier(const QString& name);
