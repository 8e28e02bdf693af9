#pragma once

#include "DbServer.h"

#include <QDBusConnection>
#include <QDBusServer>
#include <QDBusVirtualObject>
#include <QHash>

// Publishes a Database on a connection at a path, so that Telnormer can work on it by reference.
// Only the program it was handed to is served: its bus connection and that same process's
// connections to the private socket; every other caller is refused with AccessDenied. Every
// failure goes back as the ErrorRecord it was.
class DatabaseExporter : public QDBusVirtualObject {
    Q_OBJECT

public:
    explicit DatabaseExporter(DatabasePtr database, QObject* parent = nullptr);
    ~DatabaseExporter() override;

    // Serves path on connection, which must carry no other object; false when it does.
    bool publish(QDBusConnection connection, const QString& path);
    // From now on only the bus connection of that unique name (and its process's private
    // connections) is served; before, no one is.
    void serveOnly(const QString& client);

    QString introspect(const QString& path) const override;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

private:
    bool admitted(const QDBusMessage& message, const QDBusConnection& connection);
    bool clientsPeer(const QDBusConnection& connection);
    void dropPeer(const QString& name);
    QList<QVariant> dispatch(const QString& member, const QList<QVariant>& args);
    TablePtr table(const QVariant& name);
    QList<QVariant> page(const TablePtr& table, qint32 skip, qint32 count,
                         const QStringList& fields, const QStringList& texts, qint32 opt);
    std::shared_ptr<Expression> expression(const QString& text, qint32 opt);
    QString directAddress();

    DatabasePtr database_;
    std::shared_ptr<Transaction> transaction_;
    QHash<QString, std::shared_ptr<Expression>> expressions_;
    QDBusConnection connection_{QString()};
    QString path_;
    QDBusServer* server_ = nullptr;
    QString folder_;
    QStringList peers_;
    QString client_;
    QHash<QString, bool> admittedPeers_; // peer connection name -> same process as client_
};
