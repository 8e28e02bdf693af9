#include "SchemaJson.h"
#include "StringConversions.h"
#include "ToolError.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

QString schemaError(const QByteArray& json) {
    try {
        schemaFromJson(json);
    } catch (const ToolError& e) {
        return e.message();
    }
    return u"no error"_s;
}

TEST(SchemaJson, FaultsNameTheirPlace) {
    // clang-format off
    struct Case { QByteArray json; QStringList mentions; };
    const Case cases[] = {
        {R"({"name": "x", "tables": [], "colour": 1})", {u"line 1"_s, u"unknown key \"colour\""_s}},
        {R"({"tables": []})", {u"\"name\" is missing"_s}},
        {R"({"name": 7, "tables": []})", {u"\"name\" must be a text, not a number"_s}},
        {R"({"name": "x"})", {u"\"tables\" is missing"_s}},
        {R"({"name": "x", "tables": {}})", {u"\"tables\" must be a list"_s}},
        {"{\"name\": \"x\", \"tables\": [\n {\"name\": \"K\", \"fields\": [\n  {\"name\": \"Tel\", \"type\": \"string\"}]}]}", {u"line 3"_s, u"table \"K\""_s, u"field \"Tel\""_s, u"unknown type \"string\""_s}},
        {R"({"name": "x", "tables": [{"name": "K", "fields": [{"type": "text"}]}]})", {u"table \"K\", field 1"_s, u"\"name\" is missing"_s}},
        {R"({"name": "x", "tables": [{"caption": "c", "fields": []}]})", {u"table 1"_s, u"\"name\" is missing"_s}},
        {R"({"name": "x", "tables": [{"name": "K", "fields": [{"name": "T", "type": "text", "conditon": ""}]}]})", {u"field \"T\""_s, u"unknown key \"conditon\""_s}},
        {R"({"name": "x", "tables": [{"name": "K", "fields": [{"name": "T", "type": "text", "condition": false}]}]})", {u"field \"T\""_s, u"\"condition\" must be a text, not true or false"_s}},
        {R"({"name": "x", "tables": [{"name": "K", "fields": [], "indexes": [{"name": "I", "fields": [1]}]}]})", {u"index \"I\""_s, u"must be texts, not a number"_s}},
        {R"({"name": "x", "tables": [{"name": "K", "fields": [], "properties": {"P": null}}]})", {u"table \"K\""_s, u"the property \"P\" must be a text, not null"_s}},
        {R"({"name": "x", "tables": [], "users": [{"name": "U", "password": "p", "databaseAdmin": "yes"}]})", {u"user \"U\""_s, u"\"databaseAdmin\" must be true or false"_s}},
        {R"({"name": "x", "tables": [], "users": [{"name": "U"}]})", {u"user \"U\""_s, u"\"password\" is missing"_s}},
        {R"({"name": "x", "tables": [], "users": [{"name": "U", "password": ""}]})", {u"the password is empty"_s}},
        {R"({"name": "x", "tables": [], "location": {"country": "DE", "area": "30"}})", {u"location"_s, u"unknown key \"area\""_s}},
        {"{\"name\": \"x\",\n \"name\": \"y\", \"tables\": []}", {u"line 2"_s, u"the key \"name\" is given twice"_s}},
        {"{\"name\": \"x\",\n\n \"tables\": [}", {u"line 3, column 13"_s}},
        {R"({"name": "x", "tables": []} extra)", {u"after the end"_s}},
        {R"({"name": "\ud800", "tables": []})", {u"surrogate"_s}},
        {"{\"name\": \"a\x01\", \"tables\": []}", {u"control character"_s}},
        {"{\"name\": \"K\xF6ln\", \"tables\": []}", {u"not UTF-8"_s}},
        {"[]", {u"schema: must be an object"_s}},
        {"", {u"unexpected end"_s}},
        {QByteArray(100, '[') + QByteArray(100, ']'), {u"nested too deeply"_s}},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.json.toStdString());
        const QString message = schemaError(c.json);
        for (const QString& part : c.mentions)
            EXPECT_TRUE(message.contains(part)) << message.toStdString();
    }
}

} // namespace
