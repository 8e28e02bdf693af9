#pragma once

#include "PasswordHash.h"
#include "SchemaRules.h"
#include "VdbSchema.h"

#include <QString>

// Writes a new .vdb file for schema at path. Refuses an existing path and a schema that breaks
// the naming rules; on any failure no file is left behind.
void createVdbFile(const QString& path, const DatabaseSchema& schema,
                   PasswordCost cost = PasswordCost::Interactive);
