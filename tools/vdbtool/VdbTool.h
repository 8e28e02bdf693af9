#pragma once

#include <QStringList>
#include <QTextStream>

// Runs one vdbtool command line: args are the arguments after the program name. Passwords that
// no other source gives are read from in. Returns the exit status: 0 done, 1 failed (the file
// is left as it was), 2 wrong usage.
int runVdbTool(const QStringList& args, QTextStream& in, QTextStream& out, QTextStream& err);
