#pragma once

#include "DbServer.h"

#include <memory>

class EngineCore;

// The engine's expression language, parsed and evaluated in C++ (never handed to SQL):
//   Table->Field          the field's value in the table's current record; a whole text of that
//                         form works for any names, elsewhere names with blanks or operators are
//                         written in brackets: [Contact persons]->[Mobile phone]
//   "text", 'text', 12, 1.5
//   a + b                 sum of two numbers, else text concatenation; Null when either is Null
//   a & b                 text concatenation, Null counting as empty
//   ( ... )
//   UPPER(x) LOWER(x) TRIM(x) LEN(x) STR(x) LEFT(x, n) RIGHT(x, n) MID(x, start[, length])
std::shared_ptr<Evaluator> makeEvaluator(std::shared_ptr<EngineCore> core);
