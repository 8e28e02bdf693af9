#pragma once

#include "RemoteNames.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QMap>
#include <QTimer>

#include <deque>
#include <functional>
#include <memory>

class Application;
class QDBusServiceWatcher;

// The automation entry on the session bus: a factory that creates one Application object per
// call, owned by the calling connection; UseDatabase takes the host's database by reference.
class AutomationServer : public QDBusVirtualObject {
    Q_OBJECT

public:
    struct Hooks {
        std::function<std::unique_ptr<Application>()> makeApplication;
        // Whether a window of the process is open: the process lives on for it.
        std::function<bool()> windowOpen;
        // Runs after every successful UseDatabase (tests drive the new window through it).
        std::function<void(Application&)> afterUseDatabase;
        // Whether a conversion run is under way: a UseDatabase call then waits for its end, at
        // most runWaitMs, which leaves the caller's call timeout the time to take the answer.
        std::function<bool()> runUnderWay;
        int runWaitMs = Remote::callTimeoutMs - 1000;
    };

    AutomationServer(QDBusConnection connection, Hooks hooks, QObject* parent = nullptr);
    ~AutomationServer() override;

    // Registers the factory and the bus name; false when either is taken.
    bool start();
    // Quits the application once no object is held and no window open for graceMs; before the
    // first object, for firstGraceMs (a server started by hand waits for its host).
    void quitWhenIdle(int graceMs, int firstGraceMs);

    QString introspect(const QString& path) const override;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

private:
    struct Entry {
        QString owner;
        std::unique_ptr<Application> application;
    };

    struct Waiting {
        QDBusMessage message;
        qint64 deadlineMs;
    };

    // Holds a UseDatabase call back while a run is under way; false when it may go ahead.
    bool holdBack(const QDBusMessage& message);
    void serveWaiting();
    QDBusMessage createApplication(const QDBusMessage& message);
    QDBusMessage callApplication(const QDBusMessage& message, Entry& entry);
    void dropOwner(const QString& owner);
    void checkIdle();

    QDBusConnection connection_;
    Hooks hooks_;
    QDBusServiceWatcher* watcher_;
    std::map<QString, Entry> entries_;
    quint64 nextId_ = 1;
    QTimer idleTimer_;
    std::deque<Waiting> waiting_;
    QTimer waitTimer_;
    qint64 idleSinceMs_ = -1;
    int graceMs_ = 0;
};
