#pragma once

#include "VdbSchema.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <utility>

class SqliteConnection;

// The catalogue of an open .vdb file, read once at open.
struct FieldDef {
    QString name;
    FieldType type = FieldType::Text;
    QString condition;
};

struct IndexDef {
    QString name;
    QString sqlName;
    QList<int> fieldPositions;
};

struct TableDef {
    qint64 id = 0;
    QString name;
    QString caption;
    QList<FieldDef> fields;
    QList<IndexDef> indexes;
    QStringList indexUses;
    QList<std::pair<QString, QString>> properties;

    // Position of the field of that exact name, or -1.
    int fieldPosition(const QString& fieldName) const;
    // Position of the index of that exact name, or -1.
    int indexPosition(const QString& indexName) const;
};

struct Catalogue {
    QString name;
    QString country;
    QString areaCode;
    QList<TableDef> tables;

    // Position of the table of that exact name, or -1.
    int tablePosition(const QString& tableName) const;
};

// Reads the catalogue; a damaged or incomplete one fails with NotADatabase.
Catalogue loadCatalogue(SqliteConnection& db);
