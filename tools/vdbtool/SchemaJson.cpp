#include "SchemaJson.h"

#include "Json.h"
#include "ToolError.h"

using namespace Qt::StringLiterals;

namespace {

using Type = JsonValue::Type;

// The members of one JSON object, checked against the keys it may have.
class ObjectReader {
public:
    ObjectReader(const JsonValue& value, QString where, const QStringList& allowed)
        : value_(value)
        , where_(std::move(where)) {
        if (value.type != Type::Object)
            error(value, u"must be an object {...}, not "_s + jsonTypeName(value.type));
        for (const JsonMember& member : value.members) {
            if (!allowed.contains(member.key))
                error(member.value, u"unknown key \""_s + member.key + u"\" (allowed: "_s +
                                        allowed.join(u", "_s) + u')');
        }
    }

    const QString& where() const { return where_; }

    const JsonValue* find(const QString& key, Type type, bool required) const {
        for (const JsonMember& member : value_.members) {
            if (member.key != key)
                continue;
            if (member.value.type != type)
                error(member.value, u"\""_s + key + u"\" must be "_s + jsonTypeName(type) +
                                        u", not "_s + jsonTypeName(member.value.type));
            return &member.value;
        }
        if (required)
            error(value_, u"the key \""_s + key + u"\" is missing"_s);
        return nullptr;
    }

    QString text(const QString& key, bool required) const {
        const JsonValue* found = find(key, Type::String, required);
        return found != nullptr ? found->string : QString();
    }

    bool flag(const QString& key) const {
        const JsonValue* found = find(key, Type::Bool, false);
        return found != nullptr && found->boolean;
    }

    QStringList texts(const QString& key, bool required) const {
        QStringList result;
        const JsonValue* list = find(key, Type::Array, required);
        if (list == nullptr)
            return result;
        for (const JsonValue& item : list->items) {
            if (item.type != Type::String)
                error(item, u"the entries of \""_s + key + u"\" must be texts, not "_s +
                                jsonTypeName(item.type));
            result << item.string;
        }
        return result;
    }

    [[noreturn]] void error(const JsonValue& at, const QString& what) const {
        fail(u"line "_s + QString::number(at.line) + u", "_s + where_ + u": "_s + what);
    }

private:
    const JsonValue& value_;
    QString where_;
};

// "table "Kunden"" when the object has a usable name, else "table 3" (counting from 1).
QString describe(const QString& kind, const JsonValue& value, size_t position) {
    if (value.type == Type::Object) {
        for (const JsonMember& member : value.members) {
            if (member.key == u"name"_s && member.value.type == Type::String)
                return kind + u" \""_s + member.value.string + u'"';
        }
    }
    return kind + u' ' + QString::number(position + 1);
}

const std::vector<JsonValue>& listOf(const ObjectReader& object, const QString& key,
                                     bool required) {
    static const std::vector<JsonValue> none;
    const JsonValue* list = object.find(key, Type::Array, required);
    return list != nullptr ? list->items : none;
}

FieldSchema readField(const JsonValue& value, const QString& where) {
    const ObjectReader field(value, where, {u"name"_s, u"type"_s, u"condition"_s});
    FieldSchema result;
    result.name = field.text(u"name"_s, true);
    const QString type = field.text(u"type"_s, true);
    if (!fieldTypeFromName(type, result.type))
        field.error(*field.find(u"type"_s, Type::String, true),
                    u"unknown type \""_s + type + u"\" (known: text, integer, real, date)"_s);
    result.condition = field.text(u"condition"_s, false);
    return result;
}

TableSchema readTable(const JsonValue& value, const QString& where) {
    const ObjectReader table(
        value, where,
        {u"name"_s, u"caption"_s, u"fields"_s, u"indexes"_s, u"indexUses"_s, u"properties"_s});
    TableSchema result;
    result.name = table.text(u"name"_s, true);
    result.caption = table.text(u"caption"_s, false);
    const auto& fields = listOf(table, u"fields"_s, true);
    for (size_t i = 0; i < fields.size(); ++i)
        result.fields << readField(fields[i], where + u", "_s + describe(u"field"_s, fields[i], i));
    const auto& indexes = listOf(table, u"indexes"_s, false);
    for (size_t i = 0; i < indexes.size(); ++i) {
        const ObjectReader index(indexes[i], where + u", "_s + describe(u"index"_s, indexes[i], i),
                                 {u"name"_s, u"fields"_s});
        result.indexes << IndexSchema{index.text(u"name"_s, true), index.texts(u"fields"_s, true)};
    }
    result.indexUses = table.texts(u"indexUses"_s, false);
    if (const JsonValue* properties = table.find(u"properties"_s, Type::Object, false)) {
        for (const JsonMember& property : properties->members) {
            if (property.value.type != Type::String)
                table.error(property.value, u"the property \""_s + property.key +
                                                u"\" must be a text, not "_s +
                                                jsonTypeName(property.value.type));
            result.properties.append({property.key, property.value.string});
        }
    }
    return result;
}

} // namespace

DatabaseSchema schemaFromJson(const QByteArray& utf8) {
    const JsonValue document = parseJson(utf8);
    const ObjectReader root(document, u"schema"_s,
                            {u"name"_s, u"location"_s, u"users"_s, u"tables"_s});
    DatabaseSchema schema;
    schema.name = root.text(u"name"_s, true);
    if (const JsonValue* location = root.find(u"location"_s, Type::Object, false)) {
        const ObjectReader place(*location, u"location"_s, {u"country"_s, u"areaCode"_s});
        schema.country = place.text(u"country"_s, false);
        schema.areaCode = place.text(u"areaCode"_s, false);
    }
    const auto& users = listOf(root, u"users"_s, false);
    for (size_t i = 0; i < users.size(); ++i) {
        const ObjectReader user(users[i], describe(u"user"_s, users[i], i),
                                {u"name"_s, u"password"_s, u"databaseAdmin"_s, u"userAdmin"_s});
        const QString password = user.text(u"password"_s, true);
        if (password.isEmpty())
            user.error(*user.find(u"password"_s, Type::String, true), u"the password is empty"_s);
        schema.users << UserSchema{user.text(u"name"_s, true), password,
                                   user.flag(u"databaseAdmin"_s), user.flag(u"userAdmin"_s)};
    }
    const auto& tables = listOf(root, u"tables"_s, true);
    for (size_t i = 0; i < tables.size(); ++i)
        schema.tables << readTable(tables[i], describe(u"table"_s, tables[i], i));
    return schema;
}
