#include "DatabaseExporter.h"

#include "RemoteErrors.h"
#include "RemoteNames.h"
#include "RemoteProtocol.h"
#include "RemoteValues.h"

#include <QDBusMessage>

using namespace Qt::StringLiterals;

namespace {

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
        connection_.unregisterObject(path_);
}

bool DatabaseExporter::publish(QDBusConnection connection, const QString& path) {
    if (!connection.registerVirtualObject(path, this))
        return false;
    connection_ = connection;
    path_ = path;
    return true;
}

QString DatabaseExporter::introspect(const QString& path) const {
    return path == path_ ? Remote::databaseIntrospection() : QString();
}

bool DatabaseExporter::handleMessage(const QDBusMessage& message,
                                     const QDBusConnection& connection) {
    if (message.interface() != Remote::databaseInterface() || message.path() != path_)
        return false;
    QDBusMessage reply;
    try {
        reply = message.createReply(dispatch(message.member(), message.arguments()));
    } catch (const ErrorRecord& error) {
        reply = Remote::errorReply(message, error);
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

QList<QVariant> DatabaseExporter::dispatch(const QString& m, const QList<QVariant>& a) {
    const auto arg = [&a](int i) {
        if (i >= a.size())
            throw ErrorRecord(serverErrorNumber(4126), u"Argument missing"_s,
                              u"DatabaseExporter"_s);
        return a.at(i);
    };
    if (m == u"FileName")
        return {database_->FileName()};
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
    throw ErrorRecord(serverErrorNumber(4126), u"No such method: "_s + m, u"DatabaseExporter"_s);
}
