#pragma once

#include "VdbCatalogue.h"
#include "VdbSchema.h"

#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>

class PgCore;

// Writes the catalogue and the tables of schema into the empty server database uri names; the
// schema's users become login roles (an existing role keeps its password) and its rights
// memberships. One transaction: on failure the database stays as it was. Refuses a database that
// already holds a catalogue, and users when the connecting role may not create roles.
void createPgDatabase(const QString& uri, const DatabaseSchema& schema);
// Before a database is made for users: those the server has as roles already (they keep their
// passwords). Refuses one that is a user of another Telnormer database.
QStringList pgRolesTaken(const QString& uri, const QStringList& users);

// Administration of a server database by a role that may change it (tools and test fixtures):
// rows, marks, users as roles, location. Every change is one transaction.
class PgAdmin {
public:
    explicit PgAdmin(const QString& uri);
    ~PgAdmin();

    const Catalogue& catalogue() const;

    // Appends rows to table; fields name the columns of each row. A value that breaks a field's
    // condition or type fails the whole call, naming the row (from 1) and the field.
    void insertRows(const QString& table, const QStringList& fields,
                    const QList<QVariantList>& rows);

    // Streams rows into table in one transaction: add() any number, commit().
    class Inserter {
    public:
        Inserter(PgAdmin& admin, const QString& table, const QStringList& fields);
        ~Inserter();
        Inserter(const Inserter&) = delete;
        Inserter& operator=(const Inserter&) = delete;
        void add(const QVariantList& values);
        void commit();
        qint64 count() const { return count_; }

    private:
        void flush();

        PgAdmin& admin_;
        int table_;
        QList<int> fields_;
        QString head_;
        QList<QVariantList> pending_;
        qint64 count_ = 0;
        bool open_ = false;
    };

    qint64 mark(const QString& table, const QStringList& ids, bool on);
    qint64 markAll(const QString& table, bool on);

    void addUser(const QString& name, const QString& password, bool databaseAdmin, bool userAdmin);
    void setPassword(const QString& name, const QString& password);
    void setRights(const QString& name, bool databaseAdmin, bool userAdmin);
    void removeUser(const QString& name);

    struct UserInfo {
        QString name;
        bool databaseAdmin = false;
        bool userAdmin = false;
    };
    // The login roles that are users of this database.
    QList<UserInfo> users();

    void setLocation(const QString& country, const QString& areaCode);

    qint64 recordCount(const QString& table);
    qint64 markedCount(const QString& table);

private:
    template <class Body>
    void inTransaction(Body body);
    // Also refuses a user name no role may have.
    void requireCreateRole(const QString& user);
    void requireUser(const QString& name);

    std::shared_ptr<PgCore> core_;
};
