#include "AutomationServer.h"

#include "Application.h"
#include "AutomationGate.h"
#include "ErrorRecord.h"
#include "GlobalDefs.h"
#include "RemoteDatabase.h"
#include "RemoteErrors.h"
#include "StringTable.h"

#include <QApplication>
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
    connect(&waitTimer_, &QTimer::timeout, this, &AutomationServer::serveWaiting);
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
    // No host can release its objects any more.
    const bool busGone = !connection_.isConnected();
    if (busGone)
        closeForGoneBus();
    // Whatever grace the start gave is over once a host came.
    const quint64 created = gate_->created();
    if (created != createdSeen_ || (gate_->objects() > 0 && !busGone) ||
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

// The bus that carried every hand-over has closed: no host can reach a window any more. Each
// window ends as when its host leaves: a run's calls fail as for a host gone, so it ends at what it
// committed; the window closes once no run and no question is under way.
void AutomationServer::closeForGoneBus() {
    waiting_.clear();
    waitTimer_.stop();
    if ((hooks_.runUnderWay && hooks_.runUnderWay()) || QApplication::activeModalWidget())
        return;
    for (const auto& windows : std::as_const(windows_))
        for (const QPointer<QWidget>& window : windows)
            if (window && window->isVisible())
                window->close();
}

namespace {
constexpr size_t kMaxWaiting = 64;
} // namespace

// The run repaints and asks its questions with the event loop, so a call can come in the middle
// of it: a window opened then would work beside the run. The call waits for the run's end,
// behind the calls that came before it.
void AutomationServer::useDatabase(const QDBusMessage& message, const QString& owner, uint pid) {
    if (waiting_.empty() && !(hooks_.runUnderWay && hooks_.runUnderWay())) {
        openWindow(message, owner, pid);
        return;
    }
    // A host calling on and on gets no queue without end.
    if (waiting_.size() >= kMaxWaiting) {
        connection_.send(message.createErrorReply(
            QDBusError::LimitsExceeded, u"Too many UseDatabase calls wait for a run's end."_s));
        return;
    }
    waiting_.push_back(
        {message, owner, pid, QDateTime::currentMSecsSinceEpoch() + hooks_.runWaitMs});
    if (!waitTimer_.isActive())
        waitTimer_.start(100);
}

void AutomationServer::serveWaiting() {
    while (!waiting_.empty() && !(hooks_.runUnderWay && hooks_.runUnderWay())) {
        const Waiting call = waiting_.front();
        waiting_.pop_front();
        openWindow(call.message, call.owner, call.pid);
    }
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    std::erase_if(waiting_, [&](const Waiting& call) {
        if (call.deadlineMs > now)
            return false;
        connection_.send(Remote::errorReply(
            call.message,
            ErrorRecord(kUseDatabaseDuringRun,
                        u"A conversion run is under way in Telnormer; UseDatabase waited "_s +
                            QString::number(hooks_.runWaitMs / 1000) +
                            u" s for its end in vain. Call again when the run has ended."_s,
                        u"VelTelnormer"_s)));
        return true;
    });
    if (waiting_.empty())
        waitTimer_.stop();
}

void AutomationServer::openWindow(const QDBusMessage& message, const QString& owner, uint pid) {
    for (auto& windows : windows_)
        windows.removeIf([](const QPointer<QWidget>& w) { return !w || !w->isVisible(); });
    windows_.removeIf([](const auto& entry) { return entry.value().isEmpty(); });
    QList<QPointer<QWidget>>& open = windows_[pid];
    qsizetype all = 0;
    for (const auto& windows : std::as_const(windows_))
        all += windows.size();
    QDBusMessage reply;
    try {
        // A host that opens window after window would take the memory of every other one.
        if (open.size() >= mostWindowsPerHost)
            throw ErrorRecord(serverErrorNumber(12002),
                              u"A program may have at most "_s +
                                  QString::number(mostWindowsPerHost) + u" windows open at once."_s,
                              u"VelTelnormer"_s);
        if (all >= mostWindows)
            throw ErrorRecord(
                serverErrorNumber(12002),
                FormatString(LoadResourceString(IDS_AUTOMATION_MOST_WINDOWS), {mostWindows}),
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
    // Their answers could reach nobody.
    std::erase_if(waiting_, [&](const Waiting& call) { return call.owner == owner; });
}
