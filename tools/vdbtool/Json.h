#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

// A JSON reader that keeps the order of object members and where each value stands, so that
// schema files can be read in their order and every complaint can point at a line. (QJsonObject
// sorts its keys and silently keeps only one of two equal keys.)

struct JsonMember;

struct JsonValue {
    enum class Type { Null, Bool, Number, String, Array, Object };
    Type type = Type::Null;
    bool boolean = false;
    double number = 0;
    QString string;
    std::vector<JsonValue> items;    // Array
    std::vector<JsonMember> members; // Object, in the file's order
    int line = 0;                    // where the value starts, from 1
};

struct JsonMember {
    QString key;
    JsonValue value;
};

// Parses UTF-8 JSON text. Bad syntax, bad UTF-8 and a key given twice in one object throw
// ToolError naming line and column.
JsonValue parseJson(const QByteArray& utf8);

// "a text", "a number", ... for messages.
QString jsonTypeName(JsonValue::Type type);
