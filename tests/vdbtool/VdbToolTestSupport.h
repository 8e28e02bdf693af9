#pragma once

#include "TestProcess.h"
#include "VdbTool.h"

// Runs vdbtool in-process with input as standard input.
inline ProcessResult runTool(const QStringList& args, const QString& input = {}) {
    return runCaptured([&](QTextStream& in, QTextStream& out,
                           QTextStream& err) { return runVdbTool(args, in, out, err); },
                       input);
}

#define EXPECT_TOOL_OK(result)                                                                     \
    EXPECT_EQ((result).status, 0) << "stderr: " << (result).err.toStdString()

// The table as vdbtool exports it.
inline QString exportTable(const QString& file, const QString& table) {
    const ProcessResult result = runTool({QStringLiteral("export"), file, table});
    EXPECT_TOOL_OK(result);
    return result.out;
}
