#pragma once

// What the parts of the conversion run share: the state of the table being visited, the step
// wrapper and how a stored value reads as text. Only the run's own sources include it.

#include "ConversionRun.h"

#include <QDate>

#include <optional>

// A value breaks its field's condition.
constexpr qint32 kConditionViolated = static_cast<qint32>(0x80041076u);

struct ConversionRun::TableState {
    TablePtr table;
    QString name;
    QList<FieldPtr> fields;
    QStringList fieldNames;
    FieldPtr idField;
    FieldPtr countryField; // names each record's country; none: the location's
    QString country;       // the current record's, as stored
    bool newRecord = true;
    std::optional<QString> key;   // the current record's, once asked for
    std::optional<QString> label; // the current record's, once asked for the results
    bool keyFailed = false;       // asking for it failed
};

template <class Step>
bool ConversionRun::attempt(Step&& step) {
    try {
        step();
        return true;
    } catch (const ErrorRecord& error) {
        handleError(error);
        return false;
    }
}

inline void addChecked(qint32& sum, qint32 value) {
    if (__builtin_add_overflow(sum, value, &sum))
        throw ErrorRecord(ErrorNumber::Overflow, QStringLiteral("Overflow"),
                          QStringLiteral("ConversionRun"));
}

// A stored value as the run reads and logs it.
inline QString valueText(const QVariant& value) {
    if (value.metaType().id() == QMetaType::QDate)
        return value.toDate().toString(Qt::ISODate);
    return value.toString();
}
