#pragma once

#include "DbServer.h"
#include "VdbSchema.h"

#include <QString>
#include <QTemporaryDir>
#include <QVariantList>

// Real .vdb files in a temporary folder, for tests of everything built on the engine.
class VdbFixture {
public:
    VdbFixture();

    QString folder() const { return dir_.path(); }
    QString path(const QString& fileName) const { return dir_.filePath(fileName); }

    // Creates fileName from schema (cheap password hashes) and returns its path.
    QString create(const QString& fileName, const DatabaseSchema& schema);
    // Appends rows to a table of the file.
    static void insert(const QString& path, const QString& table, const QStringList& fields,
                       const QList<QVariantList>& rows);
    // Opens the file through the server as user ADMIN / "admin" unless told otherwise.
    static DatabasePtr open(const QString& path, const QString& user = QStringLiteral("ADMIN"),
                            const QString& password = QStringLiteral("admin"), qint32 flags = 0);

private:
    QTemporaryDir dir_;
};

// Schema helpers: a text field, a table, the ADMIN user with both rights and password "admin".
FieldSchema textField(const QString& name, const QString& condition = {});
TableSchema tableOf(const QString& name, const QStringList& fields, const QString& caption = {});
DatabaseSchema schemaOf(const QList<TableSchema>& tables,
                        const QString& name = QStringLiteral("Test"));
// Kunden: ID (index "ID"), Name (the record label), Telefon, Telefax (at most 16 characters),
// Mobil, then more text fields.
TableSchema customersTable(const QStringList& more = {});
// A field's values in the table's visit order (by index, when named); Null as "<null>".
QStringList storedValues(const QString& path, const QString& table, const QString& field,
                         const QString& index = {});
