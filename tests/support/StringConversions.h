#pragma once

// Lets GoogleTest print Qt values in failure messages.

#include <QString>
#include <QVariant>

#include <ostream>

inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

inline void PrintTo(const QVariant& value, std::ostream* out) {
    if (!value.isValid() || value.isNull())
        *out << "Null";
    else
        *out << value.typeName() << '(' << value.toString().toStdString() << ')';
}
