#pragma once

#include "CommandLine.h"

#include <QList>
#include <QString>
#include <QStringList>

// The subcommands of vdbtool. Each takes the arguments after its name, answers --help itself
// and throws ToolError or ErrorRecord on failure.
using CommandFunction = int (*)(const QStringList& args, ToolIo& io);

struct CommandInfo {
    QString name;
    QString synopsis;
    CommandFunction run;
};

const QList<CommandInfo>& vdbToolCommands();

int runCreate(const QStringList& args, ToolIo& io);
int runDemo(const QStringList& args, ToolIo& io);
int runImport(const QStringList& args, ToolIo& io);
int runExport(const QStringList& args, ToolIo& io);
int runMark(const QStringList& args, ToolIo& io);
int runUnmark(const QStringList& args, ToolIo& io);
int runUser(const QStringList& args, ToolIo& io);
int runLocation(const QStringList& args, ToolIo& io);
int runInfo(const QStringList& args, ToolIo& io);

// Writes help to standard output and returns the status of a finished command.
int printHelp(ToolIo& io, const QString& help);
