#include "AutomationServer.h"

#include "Application.h"
#include "AutomationGate.h"
#include "ErrorRecord.h"
#include "RemoteDatabase.h"
#include "RemoteErrors.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDateTime>

using namespace Qt::StringLiterals;

AutomationServer::AutomationServer(QDBusConnection connection, Hooks hooks, QObject* parent)
    : QObject(parent)
    , connection_(std::move(connection))
    , hooks_(std::move(hooks))
    , gate_(new AutomationGate(connection_, *this)) {
    thread_.setObjectName(u"automation gate"_s);
    gate_->moveToThread(&thread_);
    connect(&idleTimer_, &QTimer::timeout, this, &AutomationServer::checkIdle);
}

AutomationServer::~AutomationServer() {
    if (thread_.isRunning()) {
        QMetaObject::invokeMethod(
            gate_, [this] { gate_->stop(); }, Qt::BlockingQueuedConnection);
        thread_.quit();
        thread_.wait();
    }
    delete gate_;
}

bool AutomationServer::start() {
    thread_.start();
    bool started = false;
    QMetaObject::invokeMethod(
        gate_, [this, &started] { started = gate_->start(); }, Qt::BlockingQueuedConnection);
    return started;
}

void AutomationServer::quitWhenIdle(int graceMs, int firstGraceMs) {
    graceMs_ = graceMs;
    idleSinceMs_ = QDateTime::currentMSecsSinceEpoch() + firstGraceMs - graceMs;
    idleTimer_.start(std::max(50, graceMs / 4));
}

void AutomationServer::checkIdle() {
    // Whatever grace the start gave is over once a host came.
    const quint64 created = gate_->created();
    if (created != createdSeen_ || gate_->objects() > 0 ||
        (hooks_.windowOpen && hooks_.windowOpen())) {
        createdSeen_ = created;
        idleSinceMs_ = -1;
        return;
    }
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (idleSinceMs_ < 0)
        idleSinceMs_ = now;
    else if (now - idleSinceMs_ >= graceMs_)
        QCoreApplication::quit();
}

void AutomationServer::useDatabase(const QDBusMessage& message, const QString& owner) {
    QList<QPointer<QWidget>>& open = windows_[owner];
    open.removeIf([](const QPointer<QWidget>& window) { return !window || !window->isVisible(); });
    QDBusMessage reply;
    try {
        // A host that opens window after window would take the memory of every other one.
        if (open.size() >= mostWindowsPerHost)
            throw ErrorRecord(serverErrorNumber(12002),
                              u"A program may have at most "_s +
                                  QString::number(mostWindowsPerHost) + u" windows open at once."_s,
                              u"VelTelnormer"_s);
        std::unique_ptr<Application>& application = applications_[message.path()];
        if (!application)
            application = hooks_.makeApplication();
        const QString path = message.arguments().at(0).value<QDBusObjectPath>().path();
        DatabasePtr database;
        if (path != u"/")
            database = connectRemoteDatabase(connection_, owner, path);
        application->UseDatabase(database);
        open << application->window();
        if (hooks_.afterUseDatabase)
            hooks_.afterUseDatabase(*application);
        reply = message.createReply();
    } catch (const ErrorRecord& error) {
        reply = Remote::errorReply(message, error);
    }
    connection_.send(reply);
}

void AutomationServer::drop(const QString& path) {
    applications_.erase(path);
}

void AutomationServer::ownerLeft(const QString& owner) {
    windows_.remove(owner);
}
