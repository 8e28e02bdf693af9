#pragma once

#include <QVariant>
#include <QVariantList>

// A field value crosses the bus as an array of variants: empty for null, else the one value.
// Dates travel as ISO text, which the engine reads back into a date field unchanged.
namespace Remote {
QVariantList packValue(const QVariant& value);
// Unpacks what packValue made, from a message argument as Qt D-Bus delivers it. More than one
// value, or one that no field holds (an array, a structure), fails with the "could not carry
// out" error naming it.
QVariant unpackValue(const QVariant& argument);
// Several values as one argument "aav", each packed as above; more than most fail likewise.
QVariant packValues(const QList<QVariant>& values);
QList<QVariant> unpackValues(const QVariant& argument, qsizetype most = 1 << 20);
} // namespace Remote
