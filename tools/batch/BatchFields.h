#pragma once

#include "BatchCommandLine.h"
#include "DbServer.h"
#include "FieldPair.h"
#include "TelnormerBatch.h"

#include <QHash>
#include <QList>

// The fields the run converts: those of --field (each table must be there), else those whose
// name starts with --prefix or the remembered prefix; none is said on io.err.
QList<FieldPair> chooseFields(Database& database, const BatchCommandLine& commandLine,
                              const BatchEnvironment& environment, ToolIo& io);

// Per table the field that names the record's country; a table or field the database lacks is
// a usage error, and so is a field the run converts.
QHash<QString, QString> countryFields(Database& database, const QList<FieldPair>& pairs,
                                      const QList<FieldPair>& chosen);
