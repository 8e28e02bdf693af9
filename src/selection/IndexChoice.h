#pragma once

#include "DbServer.h"

class MessageBoxes;

// The index that orders a table's visit when it has no index "ID": the first index, in
// collection order, that no index use refers to (names compared ignoring case). Empty when none
// qualifies, or after a failure shown in the window's error box.
QString GetIndexName(Table& table, MessageBoxes& boxes);

// The display text of the table's current record: its "ItemExpression", or else the value of
// its first field. Empty after a failure shown in the window's error box.
QString GetItem(Table& table, MessageBoxes& boxes);
