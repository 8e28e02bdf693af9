#pragma once

#include "RunReport.h"

#include <QString>

// The --report file: the run's report, streamed while the run goes on.
class BatchReport : public RunReport {
public:
    // A usage error when report names a file the run reads or writes: the database or one of its
    // companions, a log or journal of the database.
    static void checkPath(const QString& report, const QString& database);
};
