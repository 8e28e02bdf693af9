#include "AutomationServer.h"

#include "Application.h"
#include "ErrorRecord.h"
#include "RemoteDatabase.h"
#include "RemoteErrors.h"
#include "RemoteNames.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusServiceWatcher>
#include <QDateTime>

using namespace Qt::StringLiterals;

AutomationServer::AutomationServer(QDBusConnection connection, Hooks hooks, QObject* parent)
    : QDBusVirtualObject(parent)
    , connection_(std::move(connection))
    , hooks_(std::move(hooks))
    , watcher_(new QDBusServiceWatcher(this)) {
    watcher_->setConnection(connection_);
    watcher_->setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
    connect(watcher_, &QDBusServiceWatcher::serviceUnregistered, this,
            &AutomationServer::dropOwner);
    connect(&idleTimer_, &QTimer::timeout, this, &AutomationServer::checkIdle);
    connect(&waitTimer_, &QTimer::timeout, this, &AutomationServer::serveWaiting);
}

AutomationServer::~AutomationServer() {
    connection_.unregisterObject(Remote::factoryPath(), QDBusConnection::UnregisterTree);
}

bool AutomationServer::start() {
    return connection_.registerVirtualObject(Remote::factoryPath(), this,
                                             QDBusConnection::SubPath) &&
           connection_.registerService(Remote::serviceName());
}

void AutomationServer::quitWhenIdle(int graceMs, int firstGraceMs) {
    graceMs_ = graceMs;
    idleSinceMs_ = QDateTime::currentMSecsSinceEpoch() + firstGraceMs - graceMs;
    idleTimer_.start(std::max(50, graceMs / 4));
}

void AutomationServer::checkIdle() {
    if (!entries_.empty() || (hooks_.windowOpen && hooks_.windowOpen())) {
        idleSinceMs_ = -1;
        return;
    }
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (idleSinceMs_ < 0)
        idleSinceMs_ = now;
    else if (now - idleSinceMs_ >= graceMs_)
        QCoreApplication::quit();
}

QString AutomationServer::introspect(const QString& path) const {
    if (path == Remote::factoryPath())
        return u"<interface name=\""_s + Remote::factoryInterface() +
               u"\"><method name=\"CreateApplication\">"
               u"<arg direction=\"out\" name=\"application\" type=\"o\"/></method></interface>\n"_s;
    if (entries_.count(path))
        return u"<interface name=\""_s + Remote::applicationInterface() +
               u"\"><method name=\"UseDatabase\"><arg direction=\"in\" name=\"pdb\" type=\"o\"/>"
               u"</method><method name=\"Release\"/></interface>\n"_s;
    return {};
}

bool AutomationServer::handleMessage(const QDBusMessage& message, const QDBusConnection&) {
    // Introspection and the other standard interfaces are the connection's.
    if (message.interface().startsWith(u"org.freedesktop.DBus."_s))
        return false;
    QDBusMessage reply;
    if (message.path() == Remote::factoryPath()) {
        if (message.member() != u"CreateApplication" ||
            (!message.interface().isEmpty() && message.interface() != Remote::factoryInterface()))
            return false;
        reply = createApplication(message);
    } else {
        auto found = entries_.find(message.path());
        if (found == entries_.end())
            return false;
        if (message.service() == found->second.owner && holdBack(message))
            return true;
        reply = callApplication(message, found->second);
    }
    connection_.send(reply);
    return true;
}

QDBusMessage AutomationServer::createApplication(const QDBusMessage& message) {
    const QString path = Remote::applicationPathPrefix() + QString::number(nextId_++);
    Entry entry{message.service(), hooks_.makeApplication()};
    watcher_->addWatchedService(entry.owner);
    entries_.emplace(path, std::move(entry));
    // Whatever grace the start gave is over once a host came.
    idleSinceMs_ = -1;
    // The owner may have gone before the watch began.
    if (!connection_.interface()->isServiceRegistered(message.service()).value())
        dropOwner(message.service());
    return message.createReply(QVariant::fromValue(QDBusObjectPath(path)));
}

QDBusMessage AutomationServer::callApplication(const QDBusMessage& message, Entry& entry) {
    if (message.service() != entry.owner)
        return message.createErrorReply(
            QDBusError::AccessDenied, u"This Application object belongs to another connection."_s);
    if (!message.interface().isEmpty() && message.interface() != Remote::applicationInterface())
        return message.createErrorReply(QDBusError::UnknownInterface, message.interface());
    if (message.member() == u"Release") {
        const QString owner = entry.owner;
        entries_.erase(message.path());
        const bool ownerHoldsMore =
            std::any_of(entries_.cbegin(), entries_.cend(),
                        [&](const auto& e) { return e.second.owner == owner; });
        if (!ownerHoldsMore)
            watcher_->removeWatchedService(owner);
        return message.createReply();
    }
    if (message.member() != u"UseDatabase" || message.signature() != u"o")
        return message.createErrorReply(QDBusError::UnknownMethod,
                                        message.member() + u"("_s + message.signature() + u")"_s);
    const QString path = message.arguments().at(0).value<QDBusObjectPath>().path();
    DatabasePtr database;
    if (path != u"/")
        database = connectRemoteDatabase(connection_, entry.owner, path);
    try {
        Application& application = *entry.application;
        application.UseDatabase(database);
        if (hooks_.afterUseDatabase)
            hooks_.afterUseDatabase(application);
    } catch (const ErrorRecord& error) {
        return Remote::errorReply(message, error);
    }
    return message.createReply();
}

namespace {
constexpr size_t kMaxWaiting = 64;
} // namespace

// The run repaints and asks its questions with the event loop, so a call can come in the middle
// of it: a window opened then would work beside the run. The call waits for the run's end,
// behind the calls that came before it.
bool AutomationServer::holdBack(const QDBusMessage& message) {
    if (message.member() != u"UseDatabase" ||
        (waiting_.empty() && !(hooks_.runUnderWay && hooks_.runUnderWay())))
        return false;
    // A host calling on and on gets no queue without end.
    if (waiting_.size() >= kMaxWaiting) {
        connection_.send(message.createErrorReply(
            QDBusError::LimitsExceeded, u"Too many UseDatabase calls wait for a run's end."_s));
        return true;
    }
    message.setDelayedReply(true);
    waiting_.push_back({message, QDateTime::currentMSecsSinceEpoch() + hooks_.runWaitMs});
    if (!waitTimer_.isActive())
        waitTimer_.start(100);
    return true;
}

void AutomationServer::serveWaiting() {
    while (!waiting_.empty() && !(hooks_.runUnderWay && hooks_.runUnderWay())) {
        const QDBusMessage message = waiting_.front().message;
        waiting_.pop_front();
        auto found = entries_.find(message.path());
        connection_.send(found == entries_.end()
                             ? message.createErrorReply(QDBusError::UnknownObject,
                                                        u"The Application object was released."_s)
                             : callApplication(message, found->second));
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

void AutomationServer::dropOwner(const QString& owner) {
    // Their answers could reach nobody.
    std::erase_if(waiting_, [&](const Waiting& call) { return call.message.service() == owner; });
    std::erase_if(entries_, [&](const auto& e) { return e.second.owner == owner; });
    watcher_->removeWatchedService(owner);
}
