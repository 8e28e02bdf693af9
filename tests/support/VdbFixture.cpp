#include "VdbFixture.h"

#include "VdbAdmin.h"
#include "VdbCreate.h"
#include "VdbServer.h"

using namespace Qt::StringLiterals;

VdbFixture::VdbFixture() = default;

QString VdbFixture::create(const QString& fileName, const DatabaseSchema& schema) {
    const QString file = path(fileName);
    createVdbFile(file, schema, PasswordCost::Minimal);
    return file;
}

void VdbFixture::insert(const QString& path, const QString& table, const QStringList& fields,
                        const QList<QVariantList>& rows) {
    VdbAdmin(path).insertRows(table, fields, rows);
}

DatabasePtr VdbFixture::open(const QString& path, const QString& user, const QString& password,
                             qint32 flags) {
    return VdbServer().OpenDatabase(path, user, password, flags);
}

FieldSchema textField(const QString& name, const QString& condition) {
    return FieldSchema{name, FieldType::Text, condition};
}

TableSchema tableOf(const QString& name, const QStringList& fields, const QString& caption) {
    TableSchema table;
    table.name = name;
    table.caption = caption;
    for (const QString& field : fields)
        table.fields << textField(field);
    return table;
}

DatabaseSchema schemaOf(const QList<TableSchema>& tables, const QString& name) {
    DatabaseSchema schema;
    schema.name = name;
    schema.country = u"DE"_s;
    schema.areaCode = u"30"_s;
    schema.users << UserSchema{u"ADMIN"_s, u"admin"_s, true, true};
    schema.tables = tables;
    return schema;
}

TableSchema customersTable(const QStringList& more) {
    TableSchema customers = tableOf(u"Kunden"_s, QStringList{u"Name"_s, u"Telefon"_s} + more);
    customers.fields.prepend(FieldSchema{u"ID"_s, FieldType::Integer, {}});
    customers.fields.insert(3, textField(u"Telefax"_s, u"length(\"Telefax\") <= 16"_s));
    customers.fields.insert(4, textField(u"Mobil"_s));
    customers.indexes << IndexSchema{u"ID"_s, {u"ID"_s}};
    customers.properties << std::pair{u"ItemExpression"_s, u"Kunden->Name"_s};
    return customers;
}

QStringList storedValues(const QString& path, const QString& table, const QString& field,
                         const QString& index) {
    const TablePtr t = VdbFixture::open(path)->Tables()->Item(table);
    if (!index.isEmpty())
        t->Indexes()->Activate(index, 0);
    QStringList values;
    for (t->MoveFirst(0); !t->Eof(); t->Skip(1, 0)) {
        const QVariant v = t->Fields()->Item(field)->Value();
        values << (v.isNull() ? u"<null>"_s : v.toString());
    }
    return values;
}
