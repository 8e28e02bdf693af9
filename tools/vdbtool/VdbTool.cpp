#include "VdbTool.h"

#include "Commands.h"
#include "DatabaseUri.h"
#include "ErrorRecord.h"
#include "ToolError.h"

#include <new>

using namespace Qt::StringLiterals;

namespace {

QString overview() {
    QString text = u"Usage: vdbtool COMMAND [ARGUMENTS]\n"
                   "\n"
                   "Creates, fills and inspects .vdb databases. In place of FILE a connection "
                   "URI\n(postgresql://...) names a database on a PostgreSQL server; its users "
                   "are the\nserver's roles.\n"
                   "\n"
                   "Commands:\n"_s;
    for (const CommandInfo& command : vdbToolCommands())
        text += u"  "_s + command.synopsis + u'\n';
    text += u"\n'vdbtool COMMAND --help' explains a command. Passwords are never taken from the "
            "command line:\nuse --password-file FILE, the environment variable VDB_PASSWORD or "
            "standard input.\n"_s;
    return text;
}

const CommandInfo* findCommand(const QString& name) {
    for (const CommandInfo& command : vdbToolCommands()) {
        if (command.name == name)
            return &command;
    }
    return nullptr;
}

} // namespace

const QList<CommandInfo>& vdbToolCommands() {
    static const QList<CommandInfo> commands{
        {u"create"_s, u"create FILE --schema SCHEMA.json"_s, runCreate},
        {u"import"_s, u"import FILE TABLE CSV"_s, runImport},
        {u"export"_s, u"export FILE TABLE"_s, runExport},
        {u"mark"_s, u"mark FILE TABLE (--all | ID...)"_s, runMark},
        {u"unmark"_s, u"unmark FILE TABLE (--all | ID...)"_s, runUnmark},
        {u"user"_s, u"user (add | passwd | rights | remove) FILE NAME [...]"_s, runUser},
        {u"location"_s, u"location FILE [--country CC] [--area-code N]"_s, runLocation},
        {u"info"_s, u"info FILE"_s, runInfo},
        {u"demo"_s, u"demo FILE [--records N] [--seed S] [--unique]"_s, runDemo},
    };
    return commands;
}

int printHelp(ToolIo& io, const QString& help) {
    io.out << help;
    return ExitStatus::Done;
}

int runVdbTool(const QStringList& args, QTextStream& in, QTextStream& out, QTextStream& err) {
    ToolIo io{in, out, err};
    if (args.isEmpty()) {
        err << overview();
        return ExitStatus::Usage;
    }
    const QString& name = args[0];
    if (name == u"--help"_s || name == u"-h"_s || (name == u"help"_s && args.size() == 1))
        return printHelp(io, overview());
    if (name == u"--version"_s) {
        out << "vdbtool " << TELNORMER_VERSION << "\n";
        return ExitStatus::Done;
    }
    const bool helpFor = name == u"help"_s;
    const CommandInfo* command = findCommand(helpFor ? args[1] : name);
    const QString prefix =
        u"vdbtool "_s + (command != nullptr ? command->name + u": "_s : QString());
    int status = ExitStatus::Failed;
    try {
        if (command == nullptr)
            throw ToolError(refusedArgument(u"unknown command"_s), ExitStatus::Usage);
        for (const QString& arg : args) {
            if (const QString refusal = commandLineUriRefusal(arg); !refusal.isEmpty())
                throw ToolError(refusal, ExitStatus::Usage);
        }
        status = command->run(helpFor ? QStringList{u"--help"_s} : args.mid(1), io);
    } catch (const ToolError& e) {
        err << prefix << e.message() << "\n";
        if (e.status() == ExitStatus::Usage)
            err << "Try 'vdbtool " << (command != nullptr ? command->name + u' ' : QString())
                << "--help'.\n";
        status = e.status();
    } catch (const ErrorRecord& e) {
        err << prefix << e.description() << "\n";
        status = ExitStatus::Failed;
    } catch (const std::bad_alloc&) {
        err << prefix << "out of memory\n";
        status = ExitStatus::Failed;
    }
    out.flush();
    err.flush();
    return status;
}
