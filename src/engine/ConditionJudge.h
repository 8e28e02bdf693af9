#pragma once

#include "VdbCatalogue.h"

#include <QVariant>

#include <memory>
#include <vector>

// Judges the field conditions of one table over a record's stored values without asking the
// database: the .vdb engine's reading of the conditions, which src/backend lends the server
// engine so that it can tell which writes nothing but a condition could refuse.
class ConditionJudge {
public:
    virtual ~ConditionJudge() = default;
    // Whether no condition refuses the values (one per field, in order); throws ErrorRecord when
    // they cannot be judged.
    virtual bool allows(const std::vector<QVariant>& values) = 0;
};

// The judge of a table's conditions; none when it has none; throws ErrorRecord when they cannot
// be judged.
using ConditionJudges = std::unique_ptr<ConditionJudge> (*)(const TableDef& table);
