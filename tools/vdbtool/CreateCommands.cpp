#include "Commands.h"

#include "DatabaseAdmin.h"
#include "DatabaseUri.h"
#include "DemoGenerator.h"
#include "SchemaJson.h"
#include "ToolError.h"
#include "VdbCreate.h"

#include <QFile>

using namespace Qt::StringLiterals;

namespace {

const QString kCreateHelp = u"Usage: vdbtool create FILE --schema SCHEMA.json\n"
                            "\n"
                            "Creates the .vdb file FILE with the tables and users of the schema "
                            "file. An existing\n"
                            "file is never replaced. The schema format is described in "
                            "README.md, section vdbtool.\n"_s;

const QString kDemoHelp =
    u"Usage: vdbtool demo FILE [--records N] [--seed S] [--unique]\n"
    "\n"
    "Creates a demo database: shown name \"Demo\", location DE / 30, user ADMIN with password\n"
    "\"admin\" and both admin rights, tables Kunden, Lieferanten and Ansprechpartner with N\n"
    "records each (default 1000) whose telephone fields hold German, Austrian, Swiss and US\n"
    "numbers in every common notation. The same seed (default 1) gives the same data.\n"
    "About one value in nine repeats another, as in real data: switchboards that branches and\n"
    "contact persons share, shared fax lines. --unique makes every value with digits unique\n"
    "(for benchmarks).\n"
    "An existing file is never replaced.\n"_s;

constexpr qint64 kMaxDemoRecords = 100'000'000;

QByteArray readSchemaFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        fail(u"cannot read the schema file "_s + path + u": "_s + file.errorString());
    return file.readAll();
}

} // namespace

int runCreate(const QStringList& args, ToolIo& io) {
    const CommandLine commandLine(args, {{u"schema"_s, true}});
    if (commandLine.helpRequested())
        return printHelp(io, kCreateHelp);
    commandLine.expectOperands(1, 1);
    if (!commandLine.isSet(u"schema"_s))
        usageFail(u"the option --schema SCHEMA.json is missing"_s);
    const QString path = commandLine.operands()[0];
    const QString schemaPath = commandLine.value(u"schema"_s);
    DatabaseSchema schema;
    try {
        schema = schemaFromJson(readSchemaFile(schemaPath));
    } catch (const ToolError& e) {
        fail(schemaPath + u": "_s + e.message());
    }
    QStringList names;
    for (const UserSchema& user : std::as_const(schema.users))
        names << user.name;
    const QStringList taken = rolesTaken(path, names);
    createDatabase(path, schema);
    if (!taken.isEmpty())
        io.err << "vdbtool create: the server's existing role(s) " << taken.join(u", "_s)
               << " became users and keep their own passwords\n";
    if (schema.users.isEmpty())
        io.err << "vdbtool create: warning: the database has no users; nobody can log in until "
                  "'vdbtool user add' adds one\n";
    io.out << "Created " << uriWithoutPassword(path) << ": " << schema.tables.size()
           << (schema.tables.size() == 1 ? " table, " : " tables, ") << schema.users.size()
           << (schema.users.size() == 1 ? " user.\n" : " users.\n");
    return 0;
}

int runDemo(const QStringList& args, ToolIo& io) {
    const CommandLine commandLine(args,
                                  {{u"records"_s, true}, {u"seed"_s, true}, {u"unique"_s, false}});
    if (commandLine.helpRequested())
        return printHelp(io, kDemoHelp);
    commandLine.expectOperands(1, 1);
    DemoOptions options;
    if (commandLine.isSet(u"records"_s)) {
        bool ok = false;
        options.records = commandLine.value(u"records"_s).toLongLong(&ok);
        if (!ok || options.records < 0 || options.records > kMaxDemoRecords)
            usageFail(u"--records needs a whole number from 0 to "_s +
                      QString::number(kMaxDemoRecords));
    }
    if (commandLine.isSet(u"seed"_s)) {
        bool ok = false;
        options.seed = commandLine.value(u"seed"_s).toULongLong(&ok);
        if (!ok)
            usageFail(u"--seed needs a whole number from 0 to 18446744073709551615"_s);
    }
    options.unique = commandLine.isSet(u"unique"_s);
    const QString path = commandLine.operands()[0];
    // A role ADMIN the server has already is taken as it is, with its own password.
    const bool taken = !rolesTaken(path, {u"ADMIN"_s}).isEmpty();
    createDemoDatabase(path, options);
    io.out << "Created the demo database " << uriWithoutPassword(path) << ": tables "
           << DemoTable::Customers << ", " << DemoTable::Suppliers << " and " << DemoTable::Contacts
           << " with " << options.records << " records each (seed " << options.seed << "); "
           << (taken ? "user ADMIN, the server's existing role with its own password.\n"
                     : "user ADMIN, password \"admin\".\n");
    return 0;
}
