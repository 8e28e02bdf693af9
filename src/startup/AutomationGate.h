#pragma once

#include <QDBusConnection>
#include <QDBusVirtualObject>

#include <atomic>
#include <map>

class AutomationServer;
class QDBusServiceWatcher;

// The automation entry's door on the session bus, on a thread of its own: it creates the
// Application objects, tells their owners from everybody else and takes Release at once, so
// that a host that keeps the windows' thread waiting (a slow or frozen one) never keeps another
// host waiting for these answers. A UseDatabase goes on to the server on the windows' thread,
// which answers it.
class AutomationGate : public QDBusVirtualObject {
    Q_OBJECT

public:
    AutomationGate(QDBusConnection connection, AutomationServer& server);
    ~AutomationGate() override;

    // On the gate's thread: registers the factory and the bus name; false when either is taken.
    bool start();
    void stop();

    // Objects held now, and how many were ever created (any thread).
    int objects() const { return objects_.load(); }
    quint64 created() const { return created_.load(); }

    QString introspect(const QString& path) const override;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

private:
    QDBusMessage createApplication(const QDBusMessage& message);
    struct Owner {
        QString name; // the connection that created the object
        uint pid;     // and the process behind it, whatever connection it comes through
    };
    QDBusMessage callApplication(const QDBusMessage& message, const Owner& owner);
    void drop(const QString& path);
    void dropOwner(const QString& owner);
    void counted();

    QDBusConnection connection_;
    AutomationServer& server_;
    QDBusServiceWatcher* watcher_;
    std::map<QString, Owner> owners_; // by object path
    quint64 nextId_ = 1;
    std::atomic<int> objects_{0};
    std::atomic<quint64> created_{0};
};
