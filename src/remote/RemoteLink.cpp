#include "RemoteLink.h"

#include "RemoteCursor.h"
#include "RemoteDatabase.h"
#include "RemoteErrors.h"
#include "RemoteNames.h"
#include "StringTable.h"

#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMessage>

#include <atomic>

using namespace Qt::StringLiterals;

RemoteLink::RemoteLink(QDBusConnection connection, QString service, QString path)
    : connection_(std::move(connection))
    , service_(std::move(service))
    , path_(std::move(path)) {}

RemoteLink::~RemoteLink() {
    if (direct_)
        QDBusConnection::disconnectFromPeer(peer_.name());
}

void RemoteLink::goDirect() {
    bool unknown = false;
    QString address;
    try {
        address = call(u"Direct"_s, {}, &unknown).value(0).toString();
    } catch (const ErrorRecord&) {
        return; // the bus still works
    }
    // A Unix socket only: another transport ("unixexec:" starts a program) or a list of
    // addresses would let a host make Telnormer do more than connect.
    if (unknown || address.contains(u';') ||
        !(address.startsWith(u"unix:path="_s) || address.startsWith(u"unix:abstract="_s)))
        return;
    static std::atomic<int> links;
    const QString name = u"telnormer-direct-"_s + QString::number(++links);
    QDBusConnection direct = QDBusConnection::connectToPeer(address, name);
    if (!direct.isConnected()) {
        QDBusConnection::disconnectFromPeer(name);
        return;
    }
    peer_ = direct;
    direct_ = true;
}

QString RemoteLink::source() {
    return u"RemoteDatabase"_s;
}

ErrorRecord RemoteLink::failure(quint32 code, const QString& detail) {
    return ErrorRecord(serverErrorNumber(code), LoadResourceString(static_cast<int>(code)) + detail,
                       source());
}

QList<QVariant> RemoteLink::call(const QString& method, const QList<QVariant>& args,
                                 bool* unknown) {
    if (ended_)
        throw failure(RemoteCode::HostEnded);
    QDBusConnection& to = direct_ ? peer_ : connection_;
    QDBusMessage request = QDBusMessage::createMethodCall(direct_ ? QString() : service_, path_,
                                                          Remote::databaseInterface(), method);
    request.setArguments(args);
    const QDBusMessage reply = to.call(request, QDBus::Block, Remote::callTimeoutMs);
    if (reply.type() == QDBusMessage::ReplyMessage)
        return reply.arguments();
    if (auto error = Remote::parseError(reply))
        throw *error;
    const QDBusError::ErrorType type = QDBusError(reply).type();
    if (unknown && (type == QDBusError::UnknownMethod || type == QDBusError::UnknownInterface)) {
        *unknown = true;
        return {};
    }
    // The host's database object is gone: the host let go of it on its way out.
    if (type == QDBusError::UnknownObject) {
        ended_ = true;
        throw failure(RemoteCode::HostEnded);
    }
    if (type == QDBusError::NoReply || type == QDBusError::Timeout ||
        type == QDBusError::TimedOut || type == QDBusError::ServiceUnknown ||
        type == QDBusError::Disconnected || type == QDBusError::NoServer) {
        if (!to.isConnected() || !hostPresent()) {
            ended_ = true;
            throw failure(RemoteCode::HostEnded);
        }
        if (type != QDBusError::ServiceUnknown)
            throw failure(RemoteCode::HostNotAnswering);
    }
    throw failure(RemoteCode::CallFailed, u" ("_s + method + u": "_s + reply.errorName() + u" "_s +
                                              reply.errorMessage() + u")"_s);
}

QVariant RemoteLink::value(const QString& method, const QList<QVariant>& args) {
    const QList<QVariant> out = call(method, args);
    if (out.isEmpty())
        throw failure(RemoteCode::CallFailed, u" ("_s + method + u")"_s);
    return out.first();
}

bool RemoteLink::hostPresent() {
    QDBusConnectionInterface* bus = connection_.interface();
    if (!bus)
        return false;
    const QDBusReply<bool> registered = bus->isServiceRegistered(service_);
    return registered.isValid() && registered.value();
}

void RemoteLink::addCursor(const std::shared_ptr<RemoteCursor>& cursor) {
    cursors_.push_back(cursor);
}

void RemoteLink::prepareEvaluation(const QString& text) {
    for (const auto& weak : cursors_) {
        if (auto cursor = weak.lock())
            cursor->prepareEvaluation(text);
    }
}

void RemoteLink::dropPages() {
    for (const auto& weak : cursors_) {
        if (auto cursor = weak.lock())
            cursor->dropPage();
    }
    active_ = nullptr;
}
