#include "RemoteLink.h"

#include "RemoteCursor.h"
#include "RemoteDatabase.h"
#include "RemoteErrors.h"
#include "RemoteNames.h"
#include "RemoteProtocol.h"
#include "StringTable.h"

#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMessage>
#include <QDeadlineTimer>
#include <QThread>

#include <algorithm>
#include <atomic>

#include <dbus/dbus.h>

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
    // A socket that does not let us in at once (another user's, one that never speaks, one
    // whose host refuses us) costs a few seconds once, then the bus serves. Waited for without a
    // call: one sent before the peer let us in waits for ever, and later calls on the bus too.
    if (direct.isConnected()) {
        auto* raw = static_cast<DBusConnection*>(direct.internalPointer());
        const QDeadlineTimer deadline(Remote::directProbeMs);
        while (!dbus_connection_get_is_authenticated(raw) && direct.isConnected() &&
               !deadline.hasExpired())
            QThread::msleep(5);
        // Let in, and answered: a host may still refuse us there.
        const QDBusMessage probe = QDBusMessage::createMethodCall(
            QString(), path_, Remote::databaseInterface(), u"Name"_s);
        if (dbus_connection_get_is_authenticated(raw) && direct.isConnected() &&
            direct.call(probe, QDBus::Block, Remote::directProbeMs).signature() == u"s") {
            peer_ = direct;
            direct_ = true;
            return;
        }
    }
    QDBusConnection::disconnectFromPeer(name);
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
    // The bus that carried the hand-over has closed: as if the host had gone, even where its
    // private socket still answers.
    if (ended_ || !connection_.isConnected()) {
        ended_ = true;
        throw failure(RemoteCode::HostEnded);
    }
    QDBusConnection& to = direct_ ? peer_ : connection_;
    QDBusMessage request = QDBusMessage::createMethodCall(direct_ ? QString() : service_, path_,
                                                          Remote::databaseInterface(), method);
    request.setArguments(args);
    const QDBusMessage reply = to.call(request, QDBus::Block, Remote::callTimeoutMs);
    if (reply.type() == QDBusMessage::ReplyMessage) {
        checkShape(method, reply);
        return reply.arguments();
    }
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

// An answer of another shape would be read as empty values: the run would report nothing
// converted where it read nothing. A list of names is for a list view, not for the memory.
void RemoteLink::checkShape(const QString& method, const QDBusMessage& reply) {
    const QString expected = Remote::replySignature(method);
    if (reply.signature() != expected)
        throw failure(RemoteCode::CallFailed, u" ("_s + method + u": an answer of type '"_s +
                                                  reply.signature() + u"', not '"_s + expected +
                                                  u"')"_s);
    if (expected == u"as") {
        const QStringList names = reply.arguments().constFirst().toStringList();
        // Each table's fields are asked for once: together they are bounded too.
        if (method == u"Fields")
            fieldsSeen_ += names.size();
        QString broken;
        if (names.size() > Remote::mostNames)
            broken = QString::number(names.size()) + u" names; at most "_s +
                     QString::number(Remote::mostNames) + u" in a list"_s;
        else if (fieldsSeen_ > Remote::mostFields)
            broken = QString::number(fieldsSeen_) + u" fields in all; at most "_s +
                     QString::number(Remote::mostFields);
        else if (std::any_of(names.cbegin(), names.cend(), [](const QString& name) {
                     return name.size() > Remote::mostNameLength;
                 }))
            broken = u"a name longer than "_s + QString::number(Remote::mostNameLength) +
                     u" characters"_s;
        if (!broken.isEmpty())
            throw failure(RemoteCode::CallFailed, u" ("_s + method + u": "_s + broken + u")"_s);
    }
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
