#pragma once

#include "DbServer.h"
#include "VdbCatalogue.h"
#include "VdbSchema.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include <memory>

// Administration of a database by whoever owns it (tools, test fixtures), whichever backend
// stores it: a .vdb file, or a server database (a URI) whose users are the server's roles.
// Every change is one transaction.
class DatabaseAdmin {
public:
    virtual ~DatabaseAdmin() = default;

    virtual const Catalogue& catalogue() const = 0;

    // Streams rows into a table in one transaction: add() any number, commit().
    class Inserter {
    public:
        virtual ~Inserter() = default;
        // Adds one row; errors name the row, counting from 1.
        virtual void add(const QVariantList& values) = 0;
        virtual void commit() = 0;
        virtual qint64 count() const = 0;
    };
    virtual std::unique_ptr<Inserter> inserter(const QString& table, const QStringList& fields) = 0;

    // Marks (or unmarks) the records whose field "ID" holds one of ids; returns how many changed.
    virtual qint64 mark(const QString& table, const QStringList& ids, bool on) = 0;
    virtual qint64 markAll(const QString& table, bool on) = 0;

    virtual void addUser(const QString& name, const QString& password, bool databaseAdmin,
                         bool userAdmin) = 0;
    virtual void setPassword(const QString& name, const QString& password) = 0;
    virtual void setRights(const QString& name, bool databaseAdmin, bool userAdmin) = 0;
    virtual void removeUser(const QString& name) = 0;

    struct UserInfo {
        QString name;
        bool databaseAdmin = false;
        bool userAdmin = false;
    };
    // Every user that can log in; on a server the login roles that are the database's users.
    virtual QList<UserInfo> users() = 0;

    virtual void setLocation(const QString& country, const QString& areaCode) = 0;
    virtual qint64 recordCount(const QString& table) = 0;
    virtual qint64 markedCount(const QString& table) = 0;
};

// Opens location (a .vdb path or a server URI) for administration, without a login.
std::unique_ptr<DatabaseAdmin> openDatabaseAdmin(const QString& location);
// Creates the database: a new .vdb file, or the catalogue in an empty server database.
void createDatabase(const QString& location, const DatabaseSchema& schema);
// Of users, those a server has as roles already (a file has none); refuses a user of another
// database there.
QStringList rolesTaken(const QString& location, const QStringList& users);
// The database through the common interfaces, without a login, for reading tools.
DatabasePtr openDatabaseForTools(const QString& location);
