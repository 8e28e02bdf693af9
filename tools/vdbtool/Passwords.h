#pragma once

#include "CommandLine.h"

#include <QString>

// The option through which a password file is named.
OptionDef passwordFileOption();

// A password from the first source that has one: the file of --password-file (its first line),
// the environment variable VDB_PASSWORD, or a line of standard input (without echo on a
// terminal, after prompt). Never the command line. An empty password is refused.
QString readPassword(const CommandLine& commandLine, ToolIo& io, const QString& prompt);
