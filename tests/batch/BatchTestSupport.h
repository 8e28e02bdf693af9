#pragma once

#include "TelnormerBatch.h"
#include "TestProcess.h"

#include <QDateTime>

#include <memory>

// One in-process telnormer-batch invocation, with input as its standard input.
struct BatchRun : ProcessResult {
    BatchOutcome outcome;
};

inline BatchRun runBatch(const QStringList& args, const BatchEnvironment& environment = {},
                         const QString& input = {}) {
    BatchRun run;
    static_cast<ProcessResult&>(run) = runCaptured(
        [&](QTextStream& in, QTextStream& out, QTextStream& err) {
            ToolIo io{in, out, err};
            run.outcome = executeTelnormerBatch(args, io, environment);
            return run.outcome.status;
        },
        input);
    return run;
}

// A clock that moves on a second with every reading, so that runs in quick succession never
// compete for the same log file name.
inline std::function<QDateTime()> steppingClock() {
    auto next = std::make_shared<QDateTime>(QDate(2024, 3, 5), QTime(14, 7, 9));
    return [next] {
        const QDateTime now = *next;
        *next = next->addSecs(1);
        return now;
    };
}
