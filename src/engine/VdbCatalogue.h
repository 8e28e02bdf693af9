#pragma once

#include "ErrorRecord.h"
#include "VdbSchema.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <utility>

// The hidden row-id column every product table has.
inline constexpr char16_t kRowIdColumn[] = u"vdb_rid";

inline QString rowIdColumn() {
    return QString::fromUtf16(kRowIdColumn);
}

// The catalogue of an open database, read once at open.
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

// Where an engine reads the catalogue tables from: a query's rows as texts, each table name
// after tablePrefix, and the engine's own errors.
struct CatalogueReader {
    std::function<QList<QStringList>(const QString& sql)> rows;
    QString tablePrefix;
    std::function<ErrorRecord(quint32 code, const QString& description)> error;
};

// Reads the catalogue; a damaged or incomplete one fails with NotADatabase.
Catalogue catalogueFromRows(const CatalogueReader& in);
