#pragma once

#include "TelnormerBatch.h"

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QTextStream>

#include <memory>

// One in-process telnormer-batch invocation, with input as its standard input.
struct BatchRun {
    BatchOutcome outcome;
    QString out;
    QString err;
    int status() const { return outcome.status; }
};

inline BatchRun runBatch(const QStringList& args, const BatchEnvironment& environment = {},
                         const QString& input = {}) {
    QString inText = input;
    BatchRun run;
    QTextStream in(&inText, QIODevice::ReadOnly);
    QTextStream out(&run.out, QIODevice::WriteOnly);
    QTextStream err(&run.err, QIODevice::WriteOnly);
    ToolIo io{in, out, err};
    run.outcome = executeTelnormerBatch(args, io, environment);
    out.flush();
    err.flush();
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

inline QByteArray fileContents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// Sets an environment variable, or removes it (null value), for one scope.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const QByteArray& value)
        : name_(name)
        , had_(qEnvironmentVariableIsSet(name))
        , old_(qgetenv(name)) {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }
    ~ScopedEnvironment() {
        if (had_)
            qputenv(name_, old_);
        else
            qunsetenv(name_);
    }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    const char* name_;
    bool had_;
    QByteArray old_;
};
