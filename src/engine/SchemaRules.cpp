#include "SchemaRules.h"

#include "SqlText.h"
#include "UserName.h"
#include "VdbErrors.h"

#include <QRegularExpression>
#include <QSet>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

[[noreturn]] void invalid(const QString& what) {
    throw vdbError(VdbCode::SchemaInvalid, what);
}

// SQLite compares identifiers case-insensitively in ASCII only.
QString sqliteFold(const QString& name) {
    QString folded = name;
    for (QChar& c : folded) {
        if (c >= u'A' && c <= u'Z')
            c = QChar(c.unicode() + 32);
    }
    return folded;
}

void checkName(const QString& name, const QString& kind) {
    if (name.isEmpty())
        invalid(kind + u" without a name"_s);
    if (!QStringView(name).isValidUtf16())
        invalid(kind + u" name is not valid text"_s);
    for (const QChar c : name) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            invalid(kind + u" name contains a control character: "_s + name);
    }
}

void checkReserved(const QString& name, const QString& kind) {
    const QString folded = sqliteFold(name);
    if (folded.startsWith(QStringView(kReservedPrefix)) || folded.startsWith(u"sqlite_"_s))
        invalid(kind + u" name is reserved: "_s + name);
}

// A condition goes between the brackets of CHECK ( ... ): it must close none it did not open, or
// it could end the CHECK and add columns or constraints the catalogue does not know. Comments
// and semicolons have no place in one expression.
bool isOneBracketedExpression(const QString& condition) {
    int depth = 0;
    for (qsizetype i = 0; i < condition.size(); ++i) {
        const QChar c = condition[i];
        const QChar next = i + 1 < condition.size() ? condition[i + 1] : QChar();
        if (c == u'\'' || c == u'"' || c == u'`' || c == u'[') {
            const QChar close = c == u'[' ? QChar(u']') : c;
            const qsizetype end = condition.indexOf(close, i + 1);
            if (end < 0)
                return false;
            i = end; // a doubled quote reads as two quoted parts
        } else if (c == u'(') {
            ++depth;
        } else if (c == u')') {
            if (--depth < 0)
                return false;
        } else if (c == u';' || (c == u'-' && next == u'-') || (c == u'/' && next == u'*')) {
            return false;
        }
    }
    return depth == 0;
}

void validateTable(const TableSchema& table) {
    checkName(table.name, u"table"_s);
    checkReserved(table.name, u"table"_s);
    QSet<QString> fieldNames;
    for (const FieldSchema& field : table.fields) {
        checkName(field.name, u"field"_s);
        checkReserved(field.name, u"field"_s);
        if (fieldNames.contains(sqliteFold(field.name)))
            invalid(u"table "_s + table.name + u" has the field "_s + field.name + u" twice"_s);
        fieldNames.insert(sqliteFold(field.name));
        if (field.condition.contains(QChar(u'\0')))
            invalid(u"condition of field "_s + field.name + u" contains a NUL character"_s);
        if (!isOneBracketedExpression(field.condition))
            invalid(u"condition of field "_s + field.name +
                    u" is not one expression (unbalanced brackets, a comment or a semicolon): "_s +
                    field.condition);
    }
    QSet<QString> indexNames;
    for (const IndexSchema& index : table.indexes) {
        checkName(index.name, u"index"_s);
        if (indexNames.contains(index.name))
            invalid(u"table "_s + table.name + u" has the index "_s + index.name + u" twice"_s);
        indexNames.insert(index.name);
        if (index.fields.isEmpty())
            invalid(u"index "_s + index.name + u" has no fields"_s);
        for (const QString& name : index.fields) {
            const bool known = std::any_of(table.fields.begin(), table.fields.end(),
                                           [&](const FieldSchema& f) { return f.name == name; });
            if (!known)
                invalid(u"index "_s + index.name + u" names the unknown field "_s + name);
        }
    }
    for (const QString& use : table.indexUses) {
        if (!indexNames.contains(use))
            invalid(u"table "_s + table.name + u" uses the unknown index "_s + use);
    }
    QSet<QString> propertyNames;
    for (const auto& [name, value] : table.properties) {
        checkName(name, u"property"_s);
        if (propertyNames.contains(name))
            invalid(u"table "_s + table.name + u" has the property "_s + name + u" twice"_s);
        propertyNames.insert(name);
    }
}

} // namespace

void writeTableRows(qint64 tableId, const TableSchema& table, const CatalogueWriter& out) {
    for (qsizetype i = 0; i < table.fields.size(); ++i) {
        const FieldSchema& f = table.fields[i];
        out.insert(u"INSERT INTO "_s + out.tablePrefix +
                       u"vdb_fields(table_id, position, name, type, condition) "
                       "VALUES (?, ?, ?, ?, ?)"_s,
                   {tableId, i, f.name, fieldTypeName(f.type), f.condition.trimmed()});
    }
    for (qsizetype i = 0; i < table.indexes.size(); ++i) {
        const IndexSchema& index = table.indexes[i];
        const QString sqlName = u"vdb_ix_"_s + QString::number(tableId) + u'_' + QString::number(i);
        out.insert(u"INSERT INTO "_s + out.tablePrefix +
                       u"vdb_indexes(table_id, position, name, sql_name) "
                       "VALUES (?, ?, ?, ?)"_s,
                   {tableId, i, index.name, sqlName});
        QStringList columns;
        for (qsizetype k = 0; k < index.fields.size(); ++k) {
            qsizetype position = 0;
            while (table.fields[position].name != index.fields[k])
                ++position;
            out.insert(u"INSERT INTO "_s + out.tablePrefix +
                           u"vdb_index_fields(table_id, index_position, position, "
                           "field_position) VALUES (?, ?, ?, ?)"_s,
                       {tableId, i, k, position});
            columns << quoteIdentifier(index.fields[k]);
        }
        out.exec(u"CREATE INDEX "_s + quoteIdentifier(sqlName) + u" ON "_s + out.tablePrefix +
                 quoteIdentifier(table.name) + u" ("_s + columns.join(u", "_s) + u')');
    }
    for (qsizetype i = 0; i < table.indexUses.size(); ++i)
        out.insert(u"INSERT INTO "_s + out.tablePrefix +
                       u"vdb_index_uses(table_id, position, index_name) VALUES (?, ?, ?)"_s,
                   {tableId, i, table.indexUses[i]});
    for (qsizetype i = 0; i < table.properties.size(); ++i)
        out.insert(u"INSERT INTO "_s + out.tablePrefix +
                       u"vdb_properties(table_id, position, name, value) "
                       "VALUES (?, ?, ?, ?)"_s,
                   {tableId, i, table.properties[i].first, table.properties[i].second});
}

QString foldUserName(const QString& name) {
    // Folded after the login's upper-casing: any name the login box can produce from a user's
    // name finds that user ("WEIß" finds "Weiß", "KIRMIZI" finds "kırmızı").
    return upperCaseUserName(name).toCaseFolded();
}

QString fieldTypeName(FieldType type, const FieldTypeNames& names) {
    switch (type) {
    case FieldType::Integer:
        return names.integer;
    case FieldType::Real:
        return names.real;
    case FieldType::Date:
        return names.date;
    case FieldType::Text:
        break;
    }
    return names.text;
}

QString fieldTypeName(FieldType type) {
    return fieldTypeName(type, {u"text"_s, u"integer"_s, u"real"_s, u"date"_s});
}

bool fieldTypeFromName(const QString& name, FieldType& type) {
    for (const FieldType t :
         {FieldType::Text, FieldType::Integer, FieldType::Real, FieldType::Date}) {
        if (name.compare(fieldTypeName(t), Qt::CaseInsensitive) == 0) {
            type = t;
            return true;
        }
    }
    return false;
}

void validateSchema(const DatabaseSchema& schema) {
    static const QRegularExpression country(u"^[A-Z]{2}$"_s);
    static const QRegularExpression areaCode(u"^[1-9][0-9]{0,7}$"_s);
    if (!schema.country.isEmpty() && !country.match(schema.country).hasMatch())
        invalid(u"country must be an ISO region code such as DE, not "_s + schema.country);
    if (!schema.areaCode.isEmpty() && !areaCode.match(schema.areaCode).hasMatch())
        invalid(u"area code must be digits without trunk prefix, such as 30, not "_s +
                schema.areaCode);
    QSet<QString> users;
    for (const UserSchema& user : schema.users) {
        checkName(user.name, u"user"_s);
        if (users.contains(foldUserName(user.name)))
            invalid(u"the user "_s + user.name + u" is given twice"_s);
        users.insert(foldUserName(user.name));
    }
    QSet<QString> tables;
    for (const TableSchema& table : schema.tables) {
        validateTable(table);
        if (tables.contains(sqliteFold(table.name)))
            invalid(u"the table "_s + table.name + u" is given twice"_s);
        tables.insert(sqliteFold(table.name));
    }
}
