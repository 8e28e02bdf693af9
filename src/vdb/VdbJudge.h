#pragma once

#include "ConditionJudge.h"

// The conditions judged as a .vdb file's CHECK constraints judge them, on an in-memory database.
std::unique_ptr<ConditionJudge> makeVdbJudge(const TableDef& table);
