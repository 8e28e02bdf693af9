#include "Passwords.h"

#include "RunFiles.h"
#include "StringTable.h"
#include "ToolError.h"

#include <QFile>

#include <termios.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

QString firstLine(const QString& text) {
    const qsizetype end = text.indexOf(u'\n');
    QString line = end < 0 ? text : text.left(end);
    if (line.endsWith(u'\r'))
        line.chop(1);
    return line;
}

QString fromFile(const QString& path, UiLanguage language) {
    // A FIFO there would hold the program up for good.
    QString why;
    const int fd = RunFiles::openRegular(path, why);
    if (fd < 0)
        fail(LoadResourceText(IDS_TOOL_CANNOT_READ_PASSWORD_FILE, {path, why}, language));
    QFile file;
    file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
    return firstLine(QString::fromUtf8(file.readAll()));
}

// Standard input as a terminal, when it is one: the password must not be echoed there.
bool isTerminal(QTextStream& in) {
    const auto* file = qobject_cast<QFile*>(in.device());
    return file != nullptr && file->handle() == STDIN_FILENO && ::isatty(STDIN_FILENO) == 1;
}

QString fromTerminal(ToolIo& io, const QString& prompt) {
    io.err << prompt << Qt::flush;
    termios saved{};
    const bool quiet = ::tcgetattr(STDIN_FILENO, &saved) == 0;
    if (quiet) {
        termios silent = saved;
        silent.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &silent);
    }
    const QString line = io.in.readLine();
    if (quiet)
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    io.err << '\n' << Qt::flush;
    return line;
}

} // namespace

OptionDef passwordFileOption() {
    return {u"password-file"_s, true};
}

QString readPassword(const CommandLine& commandLine, ToolIo& io, const QString& prompt) {
    QString password;
    if (commandLine.isSet(u"password-file"_s)) {
        password = fromFile(commandLine.value(u"password-file"_s), commandLine.language());
    } else if (qEnvironmentVariableIsSet("VDB_PASSWORD")) {
        password = qEnvironmentVariable("VDB_PASSWORD");
    } else if (isTerminal(io.in)) {
        password = fromTerminal(io, prompt);
    } else {
        if (io.in.atEnd())
            fail(LoadResourceString(IDS_TOOL_NO_PASSWORD, commandLine.language()));
        password = firstLine(io.in.readLine());
    }
    if (password.isEmpty())
        fail(LoadResourceString(IDS_TOOL_EMPTY_PASSWORD, commandLine.language()));
    return password;
}
