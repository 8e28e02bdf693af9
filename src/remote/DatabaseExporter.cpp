#include "DatabaseExporter.h"

#include "PrivateFolder.h"
#include "RemoteErrors.h"
#include "RemoteNames.h"
#include "RemoteProtocol.h"
#include "RemoteValues.h"

#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMessage>
#include <QDir>
#include <QTimer>

#include <dbus/dbus.h>

using namespace Qt::StringLiterals;

namespace {

// Private connections at once: one for each window the client has open on the database.
constexpr qsizetype kMostPeers = 16;
// A connection that has not logged in as the client's process by then gives its place back.
constexpr int kLoginMs = 2000;

struct UnknownMethod {};

QStringList names(auto&& collection) {
    QStringList list;
    for (const auto& member : collection)
        list << member->Name();
    return list;
}

} // namespace

DatabaseExporter::DatabaseExporter(DatabasePtr database, QObject* parent)
    : QDBusVirtualObject(parent)
    , database_(std::move(database)) {}

DatabaseExporter::~DatabaseExporter() {
    if (!path_.isEmpty())
        connection_.unregisterObject(u"/"_s);
    for (const QString& peer : std::as_const(peers_)) {
        QDBusConnection(peer).unregisterObject(u"/"_s);
        QDBusConnection::disconnectFromPeer(peer);
    }
    delete server_;
    // Only we can enter it: what is in it is the socket, if its server left it.
    if (!folder_.isEmpty()) {
        QDir folder(folder_);
        for (const QString& name : folder.entryList(QDir::AllEntries | QDir::System | QDir::Hidden |
                                                    QDir::NoDotAndDotDot))
            folder.remove(name);
        folder.rmdir(folder_);
    }
}

void DatabaseExporter::dropPeer(const QString& name) {
    QDBusConnection(name).unregisterObject(u"/"_s);
    QDBusConnection::disconnectFromPeer(name);
    peers_.removeAll(name);
    admittedPeers_.remove(name);
}

// A private socket for the caller's calls: the bus daemon's two hops are a third of a call's
// time. Only the host's own user may connect; empty when no socket could be opened.
QString DatabaseExporter::directAddress() {
    if (!server_) {
        if (folder_.isEmpty())
            folder_ = Remote::privateFolder();
        if (folder_.isEmpty())
            return {};
        auto server = std::make_unique<QDBusServer>(u"unix:dir="_s + folder_);
        if (!server->isConnected())
            return {};
        server_ = server.release();
        server_->setParent(this);
        connect(server_, &QDBusServer::newConnection, this, [this](const QDBusConnection& peer) {
            const QStringList known = peers_;
            for (const QString& name : known)
                if (!QDBusConnection(name).isConnected())
                    dropPeer(name);
            const QString name = peer.name();
            if (peers_.size() >= kMostPeers || !QDBusConnection(peer).registerVirtualObject(
                                                   u"/"_s, this, QDBusConnection::SubPath)) {
                QDBusConnection::disconnectFromPeer(name);
                return;
            }
            peers_ << name;
            // Else strangers that never log in, or log in and never call, could hold every place.
            QTimer::singleShot(kLoginMs, this, [this, name] {
                const QDBusConnection connection(name);
                auto* raw = static_cast<DBusConnection*>(connection.internalPointer());
                if (peers_.contains(name) && (!raw || !dbus_connection_get_is_authenticated(raw) ||
                                              !clientsPeer(connection)))
                    dropPeer(name);
            });
        });
    }
    return server_->address();
}

// Registered at the root, so that a stranger's Introspect or Ping on a path above ours is refused
// too and names nothing; the connection then carries no other object.
bool DatabaseExporter::publish(QDBusConnection connection, const QString& path) {
    if (!connection.registerVirtualObject(u"/"_s, this, QDBusConnection::SubPath))
        return false;
    // Else the library answers a stranger's Ping itself.
    if (auto* raw = static_cast<DBusConnection*>(connection.internalPointer()))
        dbus_connection_set_route_peer_messages(raw, TRUE);
    connection_ = connection;
    path_ = path;
    return true;
}

void DatabaseExporter::serveOnly(const QString& client) {
    client_ = client;
    admittedPeers_.clear();
}

// A private connection is the client's when the process behind it (the kernel's word, checked
// at authentication) is the one behind the client's bus name. That name is never reused, so a
// process that ended cannot be taken for it.
bool DatabaseExporter::admitted(const QDBusMessage& message, const QDBusConnection& connection) {
    if (client_.isEmpty())
        return false;
    if (connection.name() == connection_.name())
        return message.service() == client_;
    return clientsPeer(connection);
}

bool DatabaseExporter::clientsPeer(const QDBusConnection& connection) {
    if (client_.isEmpty())
        return false;
    const auto known = admittedPeers_.constFind(connection.name());
    if (known != admittedPeers_.cend())
        return *known;
    unsigned long peerPid = 0;
    auto* raw = static_cast<DBusConnection*>(connection.internalPointer());
    bool same = false;
    if (raw && dbus_connection_get_unix_process_id(raw, &peerPid) && connection_.interface()) {
        const QDBusReply<uint> clientPid = connection_.interface()->servicePid(client_);
        same = clientPid.isValid() && clientPid.value() == peerPid;
    }
    admittedPeers_.insert(connection.name(), same);
    return same;
}

QString DatabaseExporter::introspect(const QString& path) const {
    return path == path_ ? Remote::databaseIntrospection() : QString();
}

bool DatabaseExporter::handleMessage(const QDBusMessage& message,
                                     const QDBusConnection& connection) {
    // Not even its introspection: a stranger learns nothing, not that the object is there.
    if (!admitted(message, connection)) {
        connection.send(message.createErrorReply(
            QDBusError::AccessDenied, u"This database was handed over to another program."_s));
        return true;
    }
    if (message.path() != path_ || message.interface() != Remote::databaseInterface())
        return false;
    QDBusMessage reply;
    try {
        reply = message.createReply(dispatch(message.member(), message.arguments()));
    } catch (const ErrorRecord& error) {
        reply = Remote::errorReply(message, error);
    } catch (const UnknownMethod&) {
        // The standard answer, so that a caller can tell a method this host lacks.
        reply = message.createErrorReply(QDBusError::UnknownMethod,
                                         u"No such method: "_s + message.member());
    }
    connection.send(reply);
    return true;
}

TablePtr DatabaseExporter::table(const QVariant& name) {
    return database_->Tables()->Item(name.toString());
}

std::shared_ptr<Expression> DatabaseExporter::expression(const QString& text, qint32 opt) {
    auto found = expressions_.constFind(text);
    if (found != expressions_.cend())
        return *found;
    auto compiled = database_->Evaluator()->Compile(text, opt);
    expressions_.insert(text, compiled);
    return compiled;
}

// Walks ahead and comes back, where the table can; else reads the one record it is on. A record
// that cannot be read ends the page before it, so that the caller meets its error on its own.
QList<QVariant> DatabaseExporter::page(const TablePtr& table, qint32 skip, qint32 count,
                                       const QStringList& fields, const QStringList& texts,
                                       qint32 opt) {
    if (skip > 0)
        table->Skip(skip, opt);
    auto* marks = dynamic_cast<CursorMark*>(table.get());
    const std::shared_ptr<CursorPlace> place = marks && count > 1 ? marks->Mark() : nullptr;
    count = place ? std::min(count, Remote::mostPerPage) : 1;
    auto* keys = dynamic_cast<RecordKey*>(table.get());
    QList<FieldPtr> columns;
    for (const QString& name : fields)
        columns << table->Fields()->Item(name);
    QList<std::shared_ptr<Expression>> compiled;
    for (const QString& text : texts)
        compiled << expression(text, 0);
    bool eof = false;
    QStringList ids, keyList;
    QList<QVariant> values, evaluations;
    QList<bool> evaluated;
    try {
        for (qint32 r = 0; r < count; ++r) {
            if (table->Eof()) {
                eof = true;
                break;
            }
            const QString id = table->RecordId();
            const QString key = keys ? keys->StableRecordKey() : QString();
            QList<QVariant> row;
            for (const FieldPtr& column : columns)
                row << column->Value();
            ids << id;
            keyList << key;
            values << row;
            for (const auto& expr : compiled) {
                try {
                    evaluations << expr->Evaluate(0);
                    evaluated << true;
                } catch (const ErrorRecord&) {
                    evaluations << QVariant();
                    evaluated << false;
                }
            }
            if (!place)
                break;
            table->Skip(1, opt);
        }
        if (place && !eof && table->Eof())
            eof = true;
    } catch (const ErrorRecord&) {
        eof = false;
    }
    if (place)
        marks->Return(place);
    return {eof,
            ids,
            keyList,
            Remote::packValues(values),
            Remote::packValues(evaluations),
            QVariant::fromValue(evaluated)};
}

QList<QVariant> DatabaseExporter::dispatch(const QString& m, const QList<QVariant>& a) {
    const auto arg = [&a](int i) {
        if (i >= a.size())
            throw ErrorRecord(serverErrorNumber(4126), u"Argument missing"_s,
                              u"DatabaseExporter"_s);
        return a.at(i);
    };
    if (m == u"FileName")
        return {database_->FileName()};
    if (m == u"Direct")
        return {directAddress()};
    if (m == u"Name")
        return {database_->Name()};
    if (m == u"UserName")
        return {database_->Logon()->CurrentUser()->Name()};
    if (m == u"LocationCountry" || m == u"LocationAreaCode") {
        auto* location = dynamic_cast<TelephoneLocation*>(database_.get());
        if (!location)
            return {QString()};
        return {m == u"LocationCountry" ? location->LocationCountry()
                                        : location->LocationAreaCode()};
    }
    if (m == u"Tables")
        return {names(database_->Tables())};
    if (m == u"Caption")
        return {table(arg(0))->Caption()};
    if (m == u"Fields")
        return {names(table(arg(0))->Fields())};
    if (m == u"Indexes")
        return {names(table(arg(0))->Indexes())};
    if (m == u"IndexUses") {
        const auto uses = table(arg(0))->IndexUses();
        QStringList list;
        for (int i = 0; i < uses->Count(); ++i)
            list << uses->Item(i)->Index()->Name();
        return {list};
    }
    if (m == u"Property")
        return {Remote::packValue(table(arg(0))->Properties()->Item(arg(1).toString())->Value())};
    if (m == u"RecordCount")
        return {table(arg(0))->RecordCount()};
    if (m == u"MarkedCount")
        return {table(arg(0))->MarkedCount()};
    if (m == u"Activate") {
        table(arg(0))->Indexes()->Activate(arg(1).toString(), arg(2).toInt());
        return {};
    }
    if (m == u"ShowMarked" || m == u"ShowUnmarked") {
        const TablePtr t = table(arg(0));
        if (m == u"ShowMarked")
            t->ShowMarked(arg(1).toBool(), arg(2).toInt());
        else
            t->ShowUnmarked(arg(1).toBool(), arg(2).toInt());
        return {};
    }
    if (m == u"MoveFirst") {
        table(arg(0))->MoveFirst(arg(1).toInt());
        return {};
    }
    if (m == u"Skip") {
        table(arg(0))->Skip(arg(1).toInt(), arg(2).toInt());
        return {};
    }
    if (m == u"Eof")
        return {table(arg(0))->Eof()};
    if (m == u"RecordId")
        return {table(arg(0))->RecordId()};
    if (m == u"Value")
        return {Remote::packValue(table(arg(0))->Fields()->Item(arg(1).toString())->Value())};
    if (m == u"SetValue") {
        table(arg(0))->Fields()->Item(arg(1).toString())->SetValue(Remote::unpackValue(arg(2)));
        return {};
    }
    if (m == u"Update") {
        table(arg(0))->Update(arg(1).toInt());
        return {};
    }
    if (m == u"Compile") {
        expression(arg(0).toString(), arg(1).toInt());
        return {};
    }
    if (m == u"Evaluate")
        return {Remote::packValue(expression(arg(0).toString(), 0)->Evaluate(arg(1).toInt()))};
    if (m == u"Page")
        return page(table(arg(0)), arg(1).toInt(), arg(2).toInt(), arg(3).toStringList(),
                    arg(4).toStringList(), arg(5).toInt());
    if (m == u"Store") {
        const TablePtr t = table(arg(0));
        if (arg(1).toInt() > 0)
            t->Skip(arg(1).toInt(), arg(4).toInt());
        const QStringList fields = arg(2).toStringList();
        const QList<QVariant> values = Remote::unpackValues(arg(3));
        if (values.size() != fields.size())
            throw ErrorRecord(serverErrorNumber(4126), u"Fields and values differ"_s,
                              u"DatabaseExporter"_s);
        // A value refused leaves the record as it was: nothing is updated.
        for (qsizetype i = 0; i < fields.size(); ++i)
            t->Fields()->Item(fields.at(i))->SetValue(values.at(i));
        t->Update(arg(4).toInt());
        return {};
    }
    if (m == u"RecordKey") {
        const TablePtr t = table(arg(0));
        auto* keys = dynamic_cast<RecordKey*>(t.get());
        return {keys ? keys->StableRecordKey() : QString()};
    }
    if (m == u"TextFields") {
        QStringList list;
        for (const FieldPtr& field : table(arg(0))->Fields()) {
            auto* kind = dynamic_cast<FieldKind*>(field.get());
            if (!kind || kind->HoldsText())
                list << field->Name();
        }
        return {list};
    }
    if (m == u"Begin" || m == u"Commit" || m == u"Rollback") {
        if (!transaction_)
            transaction_ = database_->GetTransaction(0);
        if (m == u"Begin")
            transaction_->Begin(arg(0).toInt());
        else if (m == u"Commit")
            transaction_->Commit();
        else
            transaction_->Rollback();
        return {};
    }
    throw UnknownMethod{};
}
