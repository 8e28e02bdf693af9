#pragma once

#include "DbServer.h"

#include <QString>

#include <functional>
#include <memory>

// Wraps a real database so that tests can make chosen operations fail: every call first asks
// fault(operation), which may throw. Operations are named "Tables.Item:Kunden",
// "Table.Fields:Kunden", "Fields.Item:Kunden.Telefon", "Fields.At:Kunden.2" (walking the fields),
// "Field.Value:Kunden.Telefon", "Field.SetValue:Kunden.Telefon", "Table.Update:Kunden",
// "Table.IndexUses:Kunden", "Table.Indexes:Kunden", "Table.MoveFirst:Kunden", "Table.Skip:Kunden",
// "Table.RecordCount:...", "Table.MarkedCount:...", "Table.RecordId:...", "Table.Properties:...",
// "Database.Tables", "Database.GetTransaction", "Transaction.Begin", "Transaction.Commit",
// "Transaction.Rollback".
using FaultHook = std::function<void(const QString& operation)>;

DatabasePtr faultyDatabase(DatabasePtr real, FaultHook fault);
