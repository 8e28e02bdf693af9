#pragma once

// The ids of the string table as named constants.
enum StringId : int {
#define STRING_ENTRY(id, constant, german, english) constant = id,
#include "StringTable.def"
#undef STRING_ENTRY
};
