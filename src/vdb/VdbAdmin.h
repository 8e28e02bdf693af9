#pragma once

#include "PasswordHash.h"
#include "VdbCatalogue.h"

#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>

class VdbCore;
class SqliteStatement;

// Administration of a .vdb file by whoever owns the file (tools and test fixtures): rows, marks,
// users, location. Every change is one transaction: it happens whole or not at all.
class VdbAdmin {
public:
    explicit VdbAdmin(const QString& path, int busyTimeoutMs = 5000);
    ~VdbAdmin();

    const Catalogue& catalogue() const;

    // Appends rows to table; fields name the columns of each row. A value that breaks a field's
    // condition or type fails the whole call, naming the row (from 1) and the field.
    void insertRows(const QString& table, const QStringList& fields,
                    const QList<QVariantList>& rows);

    // Streams rows into table in one transaction: begin(), add() any number, commit().
    class Inserter {
    public:
        Inserter(VdbAdmin& admin, const QString& table, const QStringList& fields);
        ~Inserter();
        Inserter(const Inserter&) = delete;
        Inserter& operator=(const Inserter&) = delete;
        // Adds one row; the row number in errors counts from 1.
        void add(const QVariantList& values);
        void commit();
        qint64 count() const { return count_; }

    private:
        VdbAdmin& admin_;
        int table_;
        QList<int> fields_;
        std::unique_ptr<SqliteStatement> insert_;
        qint64 count_ = 0;
        bool open_ = false;
    };

    // Marks (or unmarks) the records whose field "ID" holds one of ids; returns how many changed.
    qint64 mark(const QString& table, const QStringList& ids, bool on);
    // Marks (or unmarks) every record of the table; returns how many changed.
    qint64 markAll(const QString& table, bool on);

    void addUser(const QString& name, const QString& password, bool databaseAdmin, bool userAdmin,
                 PasswordCost cost = PasswordCost::Interactive);
    void setPassword(const QString& name, const QString& password,
                     PasswordCost cost = PasswordCost::Interactive);
    void setRights(const QString& name, bool databaseAdmin, bool userAdmin);
    void removeUser(const QString& name);

    struct UserInfo {
        QString name;
        bool databaseAdmin = false;
        bool userAdmin = false;
    };
    QList<UserInfo> users();

    void setLocation(const QString& country, const QString& areaCode);

    qint64 recordCount(const QString& table);
    qint64 markedCount(const QString& table);

private:
    int tableIndex(const QString& table) const;
    void exec(const QString& sql, const QVariantList& values = {});

    std::shared_ptr<VdbCore> core_;
};
