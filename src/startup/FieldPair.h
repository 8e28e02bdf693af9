#pragma once

#include <QHashFunctions>
#include <QString>

// One chosen (table, field) pair, exactly as the server names them; compared case-sensitively.
struct FieldPair {
    QString table;
    QString field;

    bool operator==(const FieldPair&) const = default;
};

inline size_t qHash(const FieldPair& pair, size_t seed = 0) {
    return qHashMulti(seed, pair.table, pair.field);
}
