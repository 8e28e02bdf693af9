#pragma once

#include "VdbSchema.h"

#include <QByteArray>

// Reads the JSON form of a database schema:
//   {"name": "...", "location": {"country": "DE", "areaCode": "30"},
//    "users": [{"name", "password", "databaseAdmin", "userAdmin"}],
//    "tables": [{"name", "caption", "fields": [{"name", "type", "condition"}],
//                "indexes": [{"name", "fields": [...]}], "indexUses": [...],
//                "properties": {"name": "text", ...}}]}
// Unknown keys, missing required keys and values of the wrong JSON type throw ToolError naming
// the line, the table, the field or the key. The naming rules are left to the engine.
DatabaseSchema schemaFromJson(const QByteArray& utf8);
