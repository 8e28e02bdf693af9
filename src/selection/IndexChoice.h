#pragma once

#include "DbServer.h"

#include <QHash>

#include <memory>

class MessageBoxes;

// The index that orders a table's visit when it has no index "ID": the first index, in
// collection order, that no index use refers to (names compared ignoring case). Empty when none
// qualifies, or after a failure shown in the window's error box.
QString GetIndexName(Table& table, MessageBoxes& boxes);

// The display text of the table's current record: its "ItemExpression", or else the value of
// its first field. Empty after a failure shown in the window's error box.
QString GetItem(Table& table, MessageBoxes& boxes);

// GetItem for the records of one run: each table's label is read and compiled on first use
// only, since the catalogue cannot change while the run holds the database.
class RecordLabels {
public:
    explicit RecordLabels(MessageBoxes& boxes)
        : boxes_(boxes) {}

    QString operator()(Table& table);

private:
    struct Compiled {
        std::shared_ptr<Expression> label;    // null when the text does not compile
        std::shared_ptr<Expression> fallback; // the first field, compiled when first needed
    };

    MessageBoxes& boxes_;
    QHash<QString, Compiled> tables_; // by table name
};
