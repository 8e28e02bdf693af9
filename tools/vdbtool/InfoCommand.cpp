#include "Commands.h"

#include "DatabaseAdmin.h"
#include "DatabaseUri.h"

#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace {

const QString kInfoHelp = u"Usage: vdbtool info FILE\n"
                          "\n"
                          "Shows the database's name and location, every table with its "
                          "caption, fields, indexes,\n"
                          "index uses, properties and record counts, and the users with their "
                          "rights.\n"_s;

QString quoted(const QString& text) {
    return u'"' + text + u'"';
}

void printTable(ToolIo& io, DatabaseAdmin& admin, const TableDef& table) {
    io.out << "\nTable " << table.name << "\n";
    io.out << "  Caption:  " << quoted(table.caption) << "\n";
    io.out << "  Records:  " << admin.recordCount(table.name) << ", marked "
           << admin.markedCount(table.name) << "\n";
    io.out << "  Fields:\n";
    for (const FieldDef& field : table.fields) {
        io.out << "    " << field.name << "  " << fieldTypeName(field.type);
        if (!field.condition.isEmpty())
            io.out << "  condition: " << field.condition;
        io.out << "\n";
    }
    io.out << "  Indexes:" << (table.indexes.isEmpty() ? " none\n" : "\n");
    for (const IndexDef& index : table.indexes) {
        QStringList fields;
        for (const int position : index.fieldPositions)
            fields << table.fields[position].name;
        io.out << "    " << index.name << " (" << fields.join(u", "_s) << ")\n";
    }
    io.out << "  Index uses: "
           << (table.indexUses.isEmpty() ? u"none"_s : table.indexUses.join(u", "_s)) << "\n";
    io.out << "  Properties:" << (table.properties.isEmpty() ? " none\n" : "\n");
    for (const auto& [name, value] : table.properties)
        io.out << "    " << name << " = " << value << "\n";
}

} // namespace

int runInfo(const QStringList& args, ToolIo& io) {
    const CommandLine commandLine(args, {});
    if (commandLine.helpRequested())
        return printHelp(io, kInfoHelp);
    commandLine.expectOperands(1, 1);
    const QString& path = commandLine.operands()[0];
    const auto owned = openDatabaseAdmin(path);
    DatabaseAdmin& admin = *owned;
    const Catalogue& catalogue = admin.catalogue();
    if (isServerUri(path))
        io.out << "Database: " << uriWithoutPassword(path) << "\n";
    else
        io.out << "File:     " << QFileInfo(path).absoluteFilePath() << "\n";
    io.out << "Name:     " << quoted(catalogue.name) << "\n";
    io.out << "Location: " << (catalogue.country.isEmpty() ? u"no country"_s : catalogue.country)
           << ", "
           << (catalogue.areaCode.isEmpty() ? u"no area code"_s
                                            : u"area code "_s + catalogue.areaCode)
           << "\n";
    for (const TableDef& table : catalogue.tables)
        printTable(io, admin, table);
    const QList<DatabaseAdmin::UserInfo> users = admin.users();
    io.out << "\nUsers:" << (users.isEmpty() ? " none\n" : "\n");
    for (const DatabaseAdmin::UserInfo& user : users) {
        QStringList rights;
        if (user.databaseAdmin)
            rights << u"database admin"_s;
        if (user.userAdmin)
            rights << u"user admin"_s;
        io.out << "  " << user.name << "  "
               << (rights.isEmpty() ? u"no admin rights"_s : rights.join(u", "_s)) << "\n";
    }
    return 0;
}
