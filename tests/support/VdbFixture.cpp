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
