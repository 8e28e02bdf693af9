#pragma once

#include "RemoteNames.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QList>
#include <QMap>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include <deque>
#include <functional>
#include <map>
#include <memory>

class Application;
class AutomationGate;
class QDBusMessage;

// The automation entry on the session bus: a factory that creates one Application object per
// call, owned by the calling connection; UseDatabase takes the host's database by reference.
// The objects are created, checked and released by the gate on a thread of its own; the
// windows and the calls into a host's database are this (the windows') thread's.
class AutomationServer : public QObject {
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

    // What one host (one process, over all its connections) may hold at once.
    static constexpr int mostObjectsPerHost = 16;
    static constexpr int mostWindowsPerHost = 8;
    // And all hosts together: a program may start processes without end.
    static constexpr int mostWindows = 64;

    AutomationServer(QDBusConnection connection, Hooks hooks, QObject* parent = nullptr);
    ~AutomationServer() override;

    // Registers the factory and the bus name; false when either is taken.
    bool start();
    // Quits the application once no object is held and no window open for graceMs; before the
    // first object, for firstGraceMs (a server started by hand waits for its host).
    void quitWhenIdle(int graceMs, int firstGraceMs);

private:
    friend class AutomationGate;
    // From the gate, on this thread: answers the call.
    void useDatabase(const QDBusMessage& message, const QString& owner, uint pid);
    void openWindow(const QDBusMessage& message, const QString& owner, uint pid);
    void serveWaiting();
    void drop(const QString& path);
    void ownerLeft(const QString& owner);
    void checkIdle();
    void closeForGoneBus();

    QDBusConnection connection_;
    Hooks hooks_;
    QThread thread_;
    AutomationGate* gate_;
    std::map<QString, std::unique_ptr<Application>> applications_; // by object path
    // By the owner's process, for as long as they are open: the owner may have gone meanwhile.
    QMap<uint, QList<QPointer<QWidget>>> windows_;
    QTimer idleTimer_;
    struct Waiting {
        QDBusMessage message;
        QString owner;
        uint pid;
        qint64 deadlineMs;
    };
    std::deque<Waiting> waiting_;
    QTimer waitTimer_;
    qint64 idleSinceMs_ = -1;
    quint64 createdSeen_ = 0;
    int graceMs_ = 0;
};
