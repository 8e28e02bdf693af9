#include "BatchReport.h"

#include "StringTable.h"
#include "ToolError.h"

void BatchReport::checkPath(const QString& report, const QString& database) {
    if (clashes(report, database))
        usageFail(LoadResourceText(IDS_BATCH_REPORT_CLASH, {report}));
}
