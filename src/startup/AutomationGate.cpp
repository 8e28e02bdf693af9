#include "AutomationGate.h"

#include "AutomationServer.h"
#include "RemoteNames.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusServiceWatcher>

using namespace Qt::StringLiterals;

AutomationGate::AutomationGate(QDBusConnection connection, AutomationServer& server)
    : connection_(std::move(connection))
    , server_(server)
    , watcher_(new QDBusServiceWatcher(this)) {
    watcher_->setConnection(connection_);
    watcher_->setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
    connect(watcher_, &QDBusServiceWatcher::serviceUnregistered, this, &AutomationGate::dropOwner);
}

AutomationGate::~AutomationGate() = default;

bool AutomationGate::start() {
    return connection_.registerVirtualObject(Remote::factoryPath(), this,
                                             QDBusConnection::SubPath) &&
           connection_.registerService(Remote::serviceName());
}

void AutomationGate::stop() {
    connection_.unregisterObject(Remote::factoryPath(), QDBusConnection::UnregisterTree);
}

QString AutomationGate::introspect(const QString& path) const {
    if (path == Remote::factoryPath())
        return u"<interface name=\""_s + Remote::factoryInterface() +
               u"\"><method name=\"CreateApplication\">"
               u"<arg direction=\"out\" name=\"application\" type=\"o\"/></method></interface>\n"_s;
    if (owners_.count(path))
        return u"<interface name=\""_s + Remote::applicationInterface() +
               u"\"><method name=\"UseDatabase\"><arg direction=\"in\" name=\"pdb\" type=\"o\"/>"
               u"</method><method name=\"Release\"/></interface>\n"_s;
    return {};
}

bool AutomationGate::handleMessage(const QDBusMessage& message, const QDBusConnection&) {
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
        auto found = owners_.find(message.path());
        if (found == owners_.end())
            return false;
        reply = callApplication(message, found->second);
        if (reply.type() == QDBusMessage::InvalidMessage)
            return true; // the windows' thread answers
    }
    connection_.send(reply);
    return true;
}

// Counted by process: one process may open as many connections as the bus lets it.
QDBusMessage AutomationGate::createApplication(const QDBusMessage& message) {
    const QString owner = message.service();
    const QDBusReply<uint> pid = connection_.interface()->servicePid(owner);
    if (!pid.isValid())
        return message.createErrorReply(QDBusError::AccessDenied,
                                        u"The calling process is not known: "_s +
                                            pid.error().message());
    const auto held = std::count_if(owners_.cbegin(), owners_.cend(), [&](const auto& entry) {
        return entry.second.pid == pid.value();
    });
    if (held >= AutomationServer::mostObjectsPerHost)
        return message.createErrorReply(QDBusError::LimitsExceeded,
                                        u"A program may hold at most "_s +
                                            QString::number(AutomationServer::mostObjectsPerHost) +
                                            u" Application objects."_s);
    const QString path = Remote::applicationPathPrefix() + QString::number(nextId_++);
    owners_.emplace(path, Owner{owner, pid.value()});
    watcher_->addWatchedService(owner);
    counted();
    ++created_;
    // The owner may have gone before the watch began.
    if (!connection_.interface()->isServiceRegistered(owner).value())
        dropOwner(owner);
    return message.createReply(QVariant::fromValue(QDBusObjectPath(path)));
}

// An invalid message when the server answers on the windows' thread.
QDBusMessage AutomationGate::callApplication(const QDBusMessage& message, const Owner& owner) {
    if (message.service() != owner.name)
        return message.createErrorReply(
            QDBusError::AccessDenied, u"This Application object belongs to another connection."_s);
    if (!message.interface().isEmpty() && message.interface() != Remote::applicationInterface())
        return message.createErrorReply(QDBusError::UnknownInterface, message.interface());
    if (message.member() == u"Release") {
        drop(message.path());
        return message.createReply();
    }
    if (message.member() != u"UseDatabase" || message.signature() != u"o")
        return message.createErrorReply(QDBusError::UnknownMethod,
                                        message.member() + u"("_s + message.signature() + u")"_s);
    AutomationServer* server = &server_;
    QMetaObject::invokeMethod(
        server, [server, message, owner] { server->useDatabase(message, owner.name, owner.pid); },
        Qt::QueuedConnection);
    return {};
}

void AutomationGate::drop(const QString& path) {
    const auto found = owners_.find(path);
    if (found == owners_.end())
        return;
    const QString owner = found->second.name;
    owners_.erase(found);
    if (std::none_of(owners_.cbegin(), owners_.cend(),
                     [&](const auto& entry) { return entry.second.name == owner; }))
        watcher_->removeWatchedService(owner);
    counted();
    AutomationServer* server = &server_;
    QMetaObject::invokeMethod(
        server, [server, path] { server->drop(path); }, Qt::QueuedConnection);
}

void AutomationGate::dropOwner(const QString& owner) {
    QStringList paths;
    for (const auto& [path, holder] : owners_) {
        if (holder.name == owner)
            paths << path;
    }
    for (const QString& path : std::as_const(paths))
        drop(path);
    watcher_->removeWatchedService(owner);
    AutomationServer* server = &server_;
    QMetaObject::invokeMethod(
        server, [server, owner] { server->ownerLeft(owner); }, Qt::QueuedConnection);
}

void AutomationGate::counted() {
    objects_ = static_cast<int>(owners_.size());
}
