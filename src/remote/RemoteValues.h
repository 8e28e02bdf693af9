#pragma once

#include <QVariant>
#include <QVariantList>

// A field value crosses the bus as an array of variants: empty for null, else the one value.
// Dates travel as ISO text, which the engine reads back into a date field unchanged.
namespace Remote {
QVariantList packValue(const QVariant& value);
// Unpacks what packValue made, from a message argument as Qt D-Bus delivers it.
QVariant unpackValue(const QVariant& argument);
// Several values as one argument "aav", each packed as above.
QVariant packValues(const QList<QVariant>& values);
QList<QVariant> unpackValues(const QVariant& argument);
} // namespace Remote
