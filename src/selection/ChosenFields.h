#pragma once

#include "FieldPair.h"

#include <QHash>
#include <QList>
#include <QString>

// The list of chosen fields: rows in append order until the user sorts, then kept sorted; pairs
// compared exactly and case-sensitively; an index beside the rows answers "already chosen?"
// without a scan.
class ChosenFields {
public:
    enum class Direction { Ascending, Descending };

    const QList<FieldPair>& rows() const { return rows_; }
    int size() const { return static_cast<int>(rows_.size()); }
    bool contains(const QString& table, const QString& field) const;

    // Appends the pair (at its sorted place once sorting is on) and returns its position.
    int append(const QString& table, const QString& field);
    // Removes the rows at these positions (any order, duplicates ignored).
    void removeAt(QList<int> positions);
    void clear();

    // A click on header column: a new column sorts ascending, the same column flips the
    // direction; sorting stays on from the first click.
    void columnSort(int column);
    int sortColumn() const { return sortColumn_; }
    Direction direction() const { return direction_; }
    bool sorting() const { return sorting_; }

private:
    bool before(const FieldPair& a, const FieldPair& b) const;
    void sortRows();

    QList<FieldPair> rows_;
    QHash<FieldPair, int> counts_;
    int sortColumn_ = 0;
    Direction direction_ = Direction::Ascending;
    bool sorting_ = false;
};

// True when the first letters of name, as many as prefix has, equal prefix ignoring case
// (Unicode case mapping, umlauts included). An empty prefix matches nothing.
bool prefixMatches(const QString& name, const QString& prefix);
