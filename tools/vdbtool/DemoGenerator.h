#pragma once

#include "VdbSchema.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantList>

// The demo database: shown name "Demo", location DE / 30, user ADMIN with password "admin" and
// both admin rights, and three tables of invented customers, suppliers and contact persons whose
// telephone fields hold the values of DemoNumbers. A fifth of the customers are abroad: their
// field "Land" names the country, and their numbers are those of DemoAbroad. About one value in
// nine repeats another: switchboards shared by branches and contact persons, shared fax lines.

struct DemoOptions {
    qint64 records = 1000; // per table
    quint64 seed = 1;
    // No value with digits twice: no shared numbers, and chance repeats drawn again.
    bool unique = false;
};

namespace DemoTable {
inline const QString Customers = QStringLiteral("Kunden");
inline const QString Suppliers = QStringLiteral("Lieferanten");
inline const QString Contacts = QStringLiteral("Ansprechpartner");
} // namespace DemoTable

DatabaseSchema demoSchema();

// The telephone fields of a demo table, in the table's order.
struct DemoPhoneFields {
    QString table;
    QStringList fields;
};
// Every demo table with its telephone fields, in catalogue order.
QList<DemoPhoneFields> demoPhoneFields();

// Writes the demo database to path. It is built beside path under a temporary name and moved
// into place only when complete: a failure leaves nothing, and an existing file is never
// replaced.
void createDemoDatabase(const QString& path, const DemoOptions& options);
