#include "DatabaseAdmin.h"

#include "DatabaseUri.h"
#include "PgAdmin.h"
#include "PgCore.h"
#include "PgServer.h"
#include "VdbAdmin.h"
#include "VdbCore.h"
#include "VdbCreate.h"
#include "VdbJudge.h"
#include "VdbObjects.h"
#include "VdbServer.h"

namespace {

// Both engines' administration classes have the same shape; one adapter serves them.
template <class Admin>
class AdminAdapter : public DatabaseAdmin {
public:
    explicit AdminAdapter(const QString& location)
        : admin_(location) {}

    const Catalogue& catalogue() const override { return admin_.catalogue(); }

    class RowInserter : public Inserter {
    public:
        RowInserter(Admin& admin, const QString& table, const QStringList& fields)
            : inserter_(admin, table, fields) {}
        void add(const QVariantList& values) override { inserter_.add(values); }
        void commit() override { inserter_.commit(); }
        qint64 count() const override { return inserter_.count(); }

    private:
        typename Admin::Inserter inserter_;
    };
    std::unique_ptr<Inserter> inserter(const QString& table, const QStringList& fields) override {
        return std::make_unique<RowInserter>(admin_, table, fields);
    }

    qint64 mark(const QString& table, const QStringList& ids, bool on) override {
        return admin_.mark(table, ids, on);
    }
    qint64 markAll(const QString& table, bool on) override { return admin_.markAll(table, on); }
    void addUser(const QString& name, const QString& password, bool databaseAdmin,
                 bool userAdmin) override {
        admin_.addUser(name, password, databaseAdmin, userAdmin);
    }
    void setPassword(const QString& name, const QString& password) override {
        admin_.setPassword(name, password);
    }
    void setRights(const QString& name, bool databaseAdmin, bool userAdmin) override {
        admin_.setRights(name, databaseAdmin, userAdmin);
    }
    void removeUser(const QString& name) override { admin_.removeUser(name); }
    QList<UserInfo> users() override {
        QList<UserInfo> result;
        for (const auto& user : admin_.users())
            result.append({user.name, user.databaseAdmin, user.userAdmin});
        return result;
    }
    void setLocation(const QString& country, const QString& areaCode) override {
        admin_.setLocation(country, areaCode);
    }
    qint64 recordCount(const QString& table) override { return admin_.recordCount(table); }
    qint64 markedCount(const QString& table) override { return admin_.markedCount(table); }

private:
    Admin admin_;
};

} // namespace

std::unique_ptr<DatabaseAdmin> openDatabaseAdmin(const QString& location) {
    if (isServerUri(location))
        return std::make_unique<AdminAdapter<PgAdmin>>(location);
    return std::make_unique<AdminAdapter<VdbAdmin>>(location);
}

void createDatabase(const QString& location, const DatabaseSchema& schema) {
    if (isServerUri(location))
        createPgDatabase(location, schema);
    else
        createVdbFile(location, schema);
}

QStringList rolesTaken(const QString& location, const QStringList& users) {
    return isServerUri(location) ? pgRolesTaken(location, users) : QStringList();
}

DatabasePtr openDatabaseForTools(const QString& location) {
    if (isServerUri(location))
        return makeDatabaseHandle(openPgCore(location, makeVdbJudge));
    return makeDatabaseHandle(openVdbCore(location));
}
