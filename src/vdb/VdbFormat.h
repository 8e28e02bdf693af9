#pragma once

#include <QtGlobal>

// How a .vdb file is recognised: SQLite's application_id and user_version header fields.
namespace VdbFormat {
constexpr qint32 kApplicationId = 0x56444231; // "VDB1"
constexpr int kVersion = 1;
} // namespace VdbFormat
