#pragma once

#include "VdbCatalogue.h"

#include <QVariant>

// How field values are kept, for every engine: texts, 64-bit integers, doubles, and dates as ISO
// texts ("2026-12-07").

// value converted to what field stores; Null stays Null; fails with TypeMismatch.
QVariant storedFieldValue(const FieldDef& field, const QVariant& value);
// A stored value as callers see it: a date field's text becomes a QDate.
QVariant fieldValueFromStored(FieldType type, const QVariant& stored);
