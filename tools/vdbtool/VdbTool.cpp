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
        text += u"  "_s + command.name.leftJustified(10) +
                command.synopsis.mid(command.name.size() + 1) + u'\n';
    text += u"\n'vdbtool COMMAND --help' explains a command. Passwords are never taken from the "
            "command line:\nuse --password-file FILE, the environment variable VDB_PASSWORD or "
            "standard input.\n"
            "\n"
            "Options:\n"
            "  -h, --help     show this help.\n"
            "  --help-all     show this help and that of every command.\n"
            "  --version      show the version.\n"
            "\n"
            "Exit status:\n"
            "  0  the command was carried out\n"
            "  1  it failed; the file is left as it was\n"
            "  2  wrong arguments\n"
            "\n"
            "Environment:\n"
            "  VDB_PASSWORD  the password for user add and user passwd, when --password-file is\n"
            "                not given.\n"
            "  PGPASSWORD    the password of the role a postgresql:// URI connects as (or\n"
            "                ~/.pgpass, or the URI); PGHOST, PGPORT and libpq's other\n"
            "                variables fill in what the URI leaves out.\n"
            "\n"
            "Files:\n"
            "  FILE.vdb      the database: an SQLite file that only vdbtool and Telnormer write;\n"
            "                every command changes it in one transaction.\n"
            "\n"
            "Examples:\n"
            "  $ vdbtool demo /tmp/demo.vdb --records 100000\n"
            "  $ vdbtool user add kunden.vdb Meier --user-admin < pw.txt\n"
            "  $ vdbtool export kunden.vdb Kunden > kunden.csv\n"
            "  $ PGPASSWORD=geheim vdbtool demo postgresql://telnormer@localhost/kunden\n"_s;
    return text;
}

// The overview with every command's own help before its options, for the manual page: each
// command a paragraph headed by its first usage line.
QString fullHelp(ToolIo& io) {
    QString details;
    QStringList seen;
    for (const CommandInfo& command : vdbToolCommands()) {
        QString help;
        QTextStream stream(&help);
        ToolIo helpIo{io.in, stream, io.err};
        command.run({u"--help"_s}, helpIo);
        stream.flush();
        if (seen.contains(help))
            continue;
        seen << help;
        bool first = true;
        for (QString line : help.split(u'\n', Qt::SkipEmptyParts)) {
            const bool usage = line.startsWith(u"Usage: "_s) || line.startsWith(u"       "_s);
            if (usage)
                line = line.mid(7);
            if (first)
                details += u'\n' + line + u":\n"_s;
            else
                details += u"  "_s + line + (usage ? u"\n\n"_s : u"\n"_s);
            first = false;
        }
    }
    QString text = overview();
    return text.insert(text.indexOf(u"\nOptions:\n"_s), details);
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
    if (name == u"--help-all"_s)
        return printHelp(io, fullHelp(io));
    if (name == u"--version"_s)
        return printHelp(io, versionText(u"vdbtool"_s));
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
