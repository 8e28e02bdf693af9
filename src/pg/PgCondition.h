#pragma once

#include <QString>
#include <QStringList>

// A field condition (one SQL expression over the table's fields, as a .vdb file takes it) turned
// into the server's SQL: the text is parsed, and the CHECK the server gets is written from the
// parse alone — quoted field names, escaped literals, a known set of operators and functions,
// brackets around every operation. Whatever the text holds beyond that (quoting the server
// knows and the parser does not, a second clause, a comment) cannot reach the server.
// fields: the names of the table's fields, texts those of its text fields. Throws SchemaInvalid
// saying what it cannot read.
QString pgConditionSql(const QString& condition, const QStringList& fields,
                       const QStringList& texts = {});
