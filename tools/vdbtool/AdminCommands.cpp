#include "Commands.h"

#include "DatabaseAdmin.h"
#include "DatabaseUri.h"
#include "Passwords.h"
#include "ToolError.h"
#include "VdbCreate.h"

using namespace Qt::StringLiterals;

namespace {

const QString kUserHelp =
    u"Usage: vdbtool user add FILE NAME [--database-admin] [--user-admin] [--password-file F]\n"
    "       vdbtool user passwd FILE NAME [--password-file F]\n"
    "       vdbtool user rights FILE NAME [--database-admin] [--user-admin]\n"
    "       vdbtool user remove FILE NAME\n"
    "\n"
    "Adds a user, sets a user's password, sets a user's rights (the rights not given are\n"
    "taken away), or removes a user. Passwords come from the file of --password-file (its\n"
    "first line), else from the environment variable VDB_PASSWORD, else from a line of\n"
    "standard input; never from the command line.\n"_s;

const QString kLocationHelp =
    u"Usage: vdbtool location FILE [--country CC] [--area-code N]\n"
    "\n"
    "Sets the telephone location of the database: the ISO region code (DE, AT, CH, US, ...)\n"
    "and the area code without trunk prefix (30 for Berlin). An option left out keeps its\n"
    "value, an empty value clears it. Without options, shows the location.\n"_s;

// The user of that exact name, else the one whose name differs only in case (a server's role
// names keep their case; a .vdb file's never differ only in it).
std::optional<DatabaseAdmin::UserInfo> findUser(DatabaseAdmin& admin, const QString& name) {
    std::optional<DatabaseAdmin::UserInfo> folded;
    int foldedCount = 0;
    for (const DatabaseAdmin::UserInfo& user : admin.users()) {
        if (user.name == name)
            return user;
        if (foldUserName(user.name) == foldUserName(name)) {
            folded = user;
            ++foldedCount;
        }
    }
    return foldedCount == 1 ? folded : std::nullopt;
}

QString rightsText(bool databaseAdmin, bool userAdmin) {
    QStringList rights;
    if (databaseAdmin)
        rights << u"database admin"_s;
    if (userAdmin)
        rights << u"user admin"_s;
    return rights.isEmpty() ? u"no admin rights"_s : rights.join(u", "_s);
}

void warnIfLockedOut(DatabaseAdmin& admin, ToolIo& io) {
    const QList<DatabaseAdmin::UserInfo> users = admin.users();
    if (users.isEmpty()) {
        io.err << "vdbtool user: warning: the database has no users left; nobody can log in "
                  "until 'vdbtool user add' adds one\n";
        return;
    }
    const bool userAdmin = std::any_of(
        users.begin(), users.end(), [](const DatabaseAdmin::UserInfo& u) { return u.userAdmin; });
    if (!userAdmin)
        io.err << "vdbtool user: warning: no user left has the right to administer users\n";
}

} // namespace

int runUser(const QStringList& args, ToolIo& io) {
    if (args.isEmpty())
        usageFail(u"give add, passwd, rights or remove"_s);
    const QString action = args[0];
    if (action == u"--help"_s || action == u"-h"_s)
        return printHelp(io, kUserHelp);
    QList<OptionDef> options;
    if (action == u"add"_s || action == u"rights"_s)
        options << OptionDef{u"database-admin"_s, false} << OptionDef{u"user-admin"_s, false};
    if (action == u"add"_s || action == u"passwd"_s)
        options << passwordFileOption();
    else if (action != u"rights"_s && action != u"remove"_s)
        usageFail(refusedArgument(u"unknown action: give add, passwd, rights or remove"_s));
    const CommandLine commandLine(args.mid(1), options);
    if (commandLine.helpRequested())
        return printHelp(io, kUserHelp);
    const bool takesPassword = action == u"add"_s || action == u"passwd"_s;
    if (takesPassword && commandLine.operands().size() > 2)
        usageFail(passwordOnCommandLineMessage());
    commandLine.expectOperands(2, 2);
    const QString& name = commandLine.operands()[1];
    const bool databaseAdmin = commandLine.isSet(u"database-admin"_s);
    const bool userAdmin = commandLine.isSet(u"user-admin"_s);

    const auto admin = openDatabaseAdmin(commandLine.operands()[0]);
    std::optional<DatabaseAdmin::UserInfo> existing = findUser(*admin, name);
    // A role the server has already becomes one of the database's users through its rights.
    if (!existing && action == u"rights"_s && isServerUri(commandLine.operands()[0]))
        existing = DatabaseAdmin::UserInfo{name};
    if (action == u"add"_s) {
        if (existing)
            fail(u"the user \""_s + existing->name + u"\" exists already"_s);
        const QString password =
            readPassword(commandLine, io, u"Password for the new user "_s + name + u": "_s);
        admin->addUser(name, password, databaseAdmin, userAdmin);
        io.out << "Added the user " << name << " (" << rightsText(databaseAdmin, userAdmin)
               << ").\n";
        return 0;
    }
    if (!existing)
        fail(u"the database has no user \""_s + name + u'"');
    if (action == u"passwd"_s) {
        const QString password =
            readPassword(commandLine, io, u"New password for "_s + existing->name + u": "_s);
        admin->setPassword(existing->name, password);
        io.out << "Set the password of " << existing->name << ".\n";
    } else if (action == u"rights"_s) {
        admin->setRights(existing->name, databaseAdmin, userAdmin);
        io.out << "Rights of " << existing->name << ": " << rightsText(databaseAdmin, userAdmin)
               << ".\n";
        warnIfLockedOut(*admin, io);
    } else {
        admin->removeUser(existing->name);
        io.out << "Removed the user " << existing->name << ".\n";
        warnIfLockedOut(*admin, io);
    }
    return 0;
}

int runLocation(const QStringList& args, ToolIo& io) {
    const CommandLine commandLine(args, {{u"country"_s, true}, {u"area-code"_s, true}});
    if (commandLine.helpRequested())
        return printHelp(io, kLocationHelp);
    commandLine.expectOperands(1, 1);
    const auto admin = openDatabaseAdmin(commandLine.operands()[0]);
    QString country = admin->catalogue().country;
    QString areaCode = admin->catalogue().areaCode;
    const bool change = commandLine.isSet(u"country"_s) || commandLine.isSet(u"area-code"_s);
    if (commandLine.isSet(u"country"_s))
        country = commandLine.value(u"country"_s).trimmed().toUpper();
    if (commandLine.isSet(u"area-code"_s))
        areaCode = commandLine.value(u"area-code"_s).trimmed();
    if (change)
        admin->setLocation(country, areaCode);
    io.out << (change ? "Location set: " : "Location: ")
           << (country.isEmpty() ? u"no country"_s : country) << ", "
           << (areaCode.isEmpty() ? u"no area code"_s : u"area code "_s + areaCode) << ".\n";
    return 0;
}
