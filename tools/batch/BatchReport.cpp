#include "BatchReport.h"

#include "ToolError.h"

using namespace Qt::StringLiterals;

void BatchReport::checkPath(const QString& report, const QString& database) {
    if (clashes(report, database))
        usageFail(u"the report "_s + report +
                  u" would replace a file the run reads or writes (the database, a log or a "
                  "journal)"_s);
}
