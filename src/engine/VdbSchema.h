#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <utility>

// What a new .vdb database holds: the catalogue of its tables and its users.

enum class FieldType { Text, Integer, Real, Date };

struct FieldSchema {
    QString name;
    FieldType type = FieldType::Text;
    // One SQL expression over the table's fields, kept as a CHECK constraint; empty for none.
    QString condition;
};

struct IndexSchema {
    QString name;
    QStringList fields;
};

struct TableSchema {
    QString name;
    QString caption;
    QList<FieldSchema> fields;
    QList<IndexSchema> indexes;
    // Names of indexes that relations between tables use.
    QStringList indexUses;
    // Named table properties, in order ("ItemExpression" and the like).
    QList<std::pair<QString, QString>> properties;
};

struct UserSchema {
    QString name;
    QString password;
    bool databaseAdmin = false;
    bool userAdmin = false;
};

struct DatabaseSchema {
    QString name;
    QString country;  // ISO 3166 region code, or empty
    QString areaCode; // national destination code without trunk prefix, or empty
    QList<UserSchema> users;
    QList<TableSchema> tables;
};

// Text names of field types as the schema files spell them ("text", "integer", "real", "date").
QString fieldTypeName(FieldType type);
// The names one SQL dialect gives the field types.
struct FieldTypeNames {
    QString text;
    QString integer;
    QString real;
    QString date;
};
QString fieldTypeName(FieldType type, const FieldTypeNames& names);
bool fieldTypeFromName(const QString& name, FieldType& type);
