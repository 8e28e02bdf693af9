#pragma once

#include <QList>
#include <QString>

#include <optional>

// One CSV record with its CRLF line end; std::nullopt is Null. Cells are quoted when they must
// be (comma, quote, line break, empty text) and when blanks at either end or a BOM at the start
// might be lost by other programs.
QString csvLine(const QList<std::optional<QString>>& cells);
