#pragma once

#include "CommandLine.h"
#include "ComponentFactory.h"
#include "ConversionRun.h"
#include "SettingsStore.h"

#include <QDateTime>
#include <QLocale>
#include <QStringList>

#include <functional>
#include <optional>

// Exit statuses of telnormer-batch.
namespace BatchStatus {
constexpr int Done = 0;    // the run went through to its end
constexpr int Stopped = 1; // stopped after an error, or a failure outside the run
constexpr int Usage = 2;   // wrong arguments: nothing was opened
constexpr int NoLogin = 3; // no password, or the database refused to open
constexpr int NoLog = 4;   // the change log could not be prepared: nothing was changed
} // namespace BatchStatus

// What the program takes from its surroundings; tests replace parts of it.
struct BatchEnvironment {
    ComponentFactory phoneFactory = ComponentFactory::withDefaults();
    // Where the remembered field prefix is read (never written).
    SettingsStore settings;
    std::function<QDateTime()> clock = [] {
        return QDateTime::currentDateTime();
    };
    QLocale logLocale = QLocale::system();
    // Opens the database; empty: DatabaseServer().OpenDatabase(path, user, password, 0). Tests wrap
    // the real database to make chosen operations fail.
    std::function<DatabasePtr(const QString& path, const QString& user, const QString& password)>
        openDatabase;
    // The error stream is a terminal: the progress is drawn there.
    bool terminal = false;
    int columns = 80;
};

struct BatchOutcome {
    int status = BatchStatus::Stopped;
    // Set once the database was open and the run started.
    std::optional<RunResult> run;
    // The change log's path; empty when none was prepared.
    QString logPath;
};

// One telnormer-batch invocation: args are the arguments after the program name. Passwords that
// no other source gives are read from io.in; results go to io.out, messages to io.err.
BatchOutcome executeTelnormerBatch(const QStringList& args, ToolIo& io,
                                   const BatchEnvironment& environment = {});

inline int runTelnormerBatch(const QStringList& args, ToolIo& io,
                             const BatchEnvironment& environment = {}) {
    return executeTelnormerBatch(args, io, environment).status;
}
