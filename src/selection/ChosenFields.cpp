#include "ChosenFields.h"

#include <algorithm>

bool ChosenFields::contains(const QString& table, const QString& field) const {
    return counts_.contains(FieldPair{table, field});
}

// Rows compare by the sorted column's text as the user reads it: locale-aware.
bool ChosenFields::before(const FieldPair& a, const FieldPair& b) const {
    const QString& left = sortColumn_ == 0 ? a.table : a.field;
    const QString& right = sortColumn_ == 0 ? b.table : b.field;
    const int order = QString::localeAwareCompare(left, right);
    return direction_ == Direction::Ascending ? order < 0 : order > 0;
}

int ChosenFields::append(const QString& table, const QString& field) {
    const FieldPair pair{table, field};
    ++counts_[pair];
    if (!sorting_) {
        rows_.append(pair);
        return size() - 1;
    }
    const auto at =
        std::upper_bound(rows_.begin(), rows_.end(), pair,
                         [this](const FieldPair& a, const FieldPair& b) { return before(a, b); });
    const auto position = static_cast<int>(at - rows_.begin());
    rows_.insert(position, pair);
    return position;
}

void ChosenFields::removeAt(QList<int> positions) {
    std::sort(positions.begin(), positions.end(), std::greater<>());
    positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
    for (const int position : positions) {
        if (position < 0 || position >= size())
            continue;
        const FieldPair pair = rows_.takeAt(position);
        if (--counts_[pair] == 0)
            counts_.remove(pair);
    }
}

void ChosenFields::clear() {
    rows_.clear();
    counts_.clear();
}

void ChosenFields::sortRows() {
    std::stable_sort(rows_.begin(), rows_.end(),
                     [this](const FieldPair& a, const FieldPair& b) { return before(a, b); });
}

void ChosenFields::columnSort(int column) {
    if (column != sortColumn_) {
        sortColumn_ = column;
        direction_ = Direction::Ascending;
    } else {
        direction_ =
            direction_ == Direction::Ascending ? Direction::Descending : Direction::Ascending;
    }
    sorting_ = true;
    sortRows();
}

bool prefixMatches(const QString& name, const QString& prefix) {
    if (prefix.isEmpty())
        return false;
    return name.left(prefix.size()).toLower() == prefix.toLower();
}
