#include "RemoteDatabase.h"

#include "RemoteErrors.h"
#include "RemoteNames.h"
#include "RemoteValues.h"
#include "StringTable.h"

#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMessage>
#include <QHash>

using namespace Qt::StringLiterals;

class RemoteLink {
public:
    RemoteLink(QDBusConnection connection, QString service, QString path)
        : connection_(std::move(connection))
        , service_(std::move(service))
        , path_(std::move(path)) {}

    QList<QVariant> call(const QString& method, const QList<QVariant>& args = {}) {
        if (ended_)
            throw failure(RemoteCode::HostEnded);
        QDBusMessage request =
            QDBusMessage::createMethodCall(service_, path_, Remote::databaseInterface(), method);
        request.setArguments(args);
        const QDBusMessage reply = connection_.call(request, QDBus::Block, Remote::callTimeoutMs);
        if (reply.type() == QDBusMessage::ReplyMessage)
            return reply.arguments();
        if (auto error = Remote::parseError(reply))
            throw *error;
        const QDBusError::ErrorType type = QDBusError(reply).type();
        // The host's database object is gone: the host let go of it on its way out.
        if (type == QDBusError::UnknownObject) {
            ended_ = true;
            throw failure(RemoteCode::HostEnded);
        }
        if (type == QDBusError::NoReply || type == QDBusError::Timeout ||
            type == QDBusError::TimedOut || type == QDBusError::ServiceUnknown ||
            type == QDBusError::Disconnected || type == QDBusError::NoServer) {
            if (!connection_.isConnected() || !hostPresent()) {
                ended_ = true;
                throw failure(RemoteCode::HostEnded);
            }
            if (type != QDBusError::ServiceUnknown)
                throw failure(RemoteCode::HostNotAnswering);
        }
        throw ErrorRecord(serverErrorNumber(RemoteCode::CallFailed),
                          LoadResourceString(RemoteCode::CallFailed) + u" ("_s + method + u": "_s +
                              reply.errorName() + u" "_s + reply.errorMessage() + u")"_s,
                          source());
    }

    QVariant value(const QString& method, const QList<QVariant>& args = {}) {
        const QList<QVariant> out = call(method, args);
        if (out.isEmpty())
            throw ErrorRecord(
                serverErrorNumber(RemoteCode::CallFailed),
                LoadResourceString(RemoteCode::CallFailed) + u" ("_s + method + u")"_s, source());
        return out.first();
    }

    static QString source() { return u"RemoteDatabase"_s; }

private:
    bool hostPresent() {
        QDBusConnectionInterface* bus = connection_.interface();
        if (!bus)
            return false;
        const QDBusReply<bool> registered = bus->isServiceRegistered(service_);
        return registered.isValid() && registered.value();
    }

    static ErrorRecord failure(quint32 code) {
        return ErrorRecord(serverErrorNumber(code), LoadResourceString(static_cast<int>(code)),
                           source());
    }

    QDBusConnection connection_;
    QString service_;
    QString path_;
    bool ended_ = false;
};

namespace {

using Link = std::shared_ptr<RemoteLink>;

ErrorRecord noSuchItem(const QString& what) {
    return ErrorRecord(serverErrorNumber(4120), u"Item not found: "_s + what, RemoteLink::source());
}

class RemoteIndex : public Index {
public:
    explicit RemoteIndex(QString name)
        : name_(std::move(name)) {}
    QString Name() override { return name_; }

private:
    QString name_;
};

class RemoteIndexes : public Indexes {
public:
    RemoteIndexes(Link link, QString table)
        : link_(std::move(link))
        , table_(std::move(table))
        , names_(link_->value(u"Indexes"_s, {table_}).toStringList()) {}
    int Count() override { return static_cast<int>(names_.size()); }
    std::shared_ptr<Index> At(int position) override {
        if (position < 0 || position >= names_.size())
            throw noSuchItem(QString::number(position));
        return std::make_shared<RemoteIndex>(names_.at(position));
    }
    std::shared_ptr<::Index> Item(const QString& name) override {
        if (!names_.contains(name))
            throw noSuchItem(name);
        return std::make_shared<RemoteIndex>(name);
    }
    void Activate(const QString& name, qint32 opt) override {
        link_->call(u"Activate"_s, {table_, name, opt});
    }

private:
    Link link_;
    QString table_;
    QStringList names_;
};

class RemoteIndexUse : public IndexUse {
public:
    explicit RemoteIndexUse(QString index)
        : index_(std::move(index)) {}
    std::shared_ptr<::Index> Index() override { return std::make_shared<RemoteIndex>(index_); }

private:
    QString index_;
};

class RemoteIndexUses : public IndexUses {
public:
    explicit RemoteIndexUses(QStringList names)
        : names_(std::move(names)) {}
    qint32 Count() override { return static_cast<qint32>(names_.size()); }
    std::shared_ptr<IndexUse> Item(int position) override {
        if (position < 0 || position >= names_.size())
            throw noSuchItem(QString::number(position));
        return std::make_shared<RemoteIndexUse>(names_.at(position));
    }

private:
    QStringList names_;
};

class RemoteProperty : public Property {
public:
    explicit RemoteProperty(QVariant value)
        : value_(std::move(value)) {}
    QVariant Value() override { return value_; }

private:
    QVariant value_;
};

class RemoteProperties : public Properties {
public:
    RemoteProperties(Link link, QString table)
        : link_(std::move(link))
        , table_(std::move(table)) {}
    std::shared_ptr<Property> Item(const QString& name) override {
        return std::make_shared<RemoteProperty>(
            Remote::unpackValue(link_->value(u"Property"_s, {table_, name})));
    }

private:
    Link link_;
    QString table_;
};

class RemoteField : public Field {
public:
    RemoteField(Link link, QString table, QString name)
        : link_(std::move(link))
        , table_(std::move(table))
        , name_(std::move(name)) {}
    QString Name() override { return name_; }
    QVariant Value() override {
        return Remote::unpackValue(link_->value(u"Value"_s, {table_, name_}));
    }
    void SetValue(const QVariant& value) override {
        link_->call(u"SetValue"_s, {table_, name_, Remote::packValue(value)});
    }

private:
    Link link_;
    QString table_;
    QString name_;
};

class RemoteFields : public Fields {
public:
    RemoteFields(Link link, QString table, QStringList names)
        : link_(std::move(link))
        , table_(std::move(table))
        , names_(std::move(names)) {}
    int Count() override { return static_cast<int>(names_.size()); }
    FieldPtr At(int position) override { return Item(position); }
    FieldPtr Item(const QString& name) override {
        if (!names_.contains(name))
            throw noSuchItem(name);
        return std::make_shared<RemoteField>(link_, table_, name);
    }
    FieldPtr Item(int position) override {
        if (position < 0 || position >= names_.size())
            throw noSuchItem(QString::number(position));
        return std::make_shared<RemoteField>(link_, table_, names_.at(position));
    }

private:
    Link link_;
    QString table_;
    QStringList names_;
};

class RemoteTables;

class RemoteTable : public Table {
public:
    RemoteTable(Link link, std::weak_ptr<::Tables> parent, QString name)
        : link_(std::move(link))
        , parent_(std::move(parent))
        , name_(std::move(name)) {}
    std::shared_ptr<::Tables> Parent() override { return parent_.lock(); }
    QString Name() override { return name_; }
    QString Caption() override { return link_->value(u"Caption"_s, {name_}).toString(); }
    CollectionRef<::Fields> Fields() override {
        // The names change only with the schema, which no one changes under an open window.
        if (!fieldsKnown_) {
            fieldNames_ = link_->value(u"Fields"_s, {name_}).toStringList();
            fieldsKnown_ = true;
        }
        return std::make_shared<RemoteFields>(link_, name_, fieldNames_);
    }
    CollectionRef<::Indexes> Indexes() override {
        return std::make_shared<RemoteIndexes>(link_, name_);
    }
    qint32 RecordCount() override { return link_->value(u"RecordCount"_s, {name_}).toInt(); }
    bool Eof() override { return link_->value(u"Eof"_s, {name_}).toBool(); }
    void MoveFirst(qint32 opt) override { link_->call(u"MoveFirst"_s, {name_, opt}); }
    void Skip(qint32 count, qint32 opt) override { link_->call(u"Skip"_s, {name_, count, opt}); }
    void Update(qint32 opt) override { link_->call(u"Update"_s, {name_, opt}); }
    QString RecordId() override { return link_->value(u"RecordId"_s, {name_}).toString(); }
    std::shared_ptr<::Properties> Properties() override {
        return std::make_shared<RemoteProperties>(link_, name_);
    }
    void ShowMarked(bool on, qint32 opt) override {
        link_->call(u"ShowMarked"_s, {name_, on, opt});
    }
    void ShowUnmarked(bool on, qint32 opt) override {
        link_->call(u"ShowUnmarked"_s, {name_, on, opt});
    }
    qint32 MarkedCount() override { return link_->value(u"MarkedCount"_s, {name_}).toInt(); }
    std::shared_ptr<::IndexUses> IndexUses() override {
        return std::make_shared<RemoteIndexUses>(
            link_->value(u"IndexUses"_s, {name_}).toStringList());
    }

private:
    Link link_;
    std::weak_ptr<::Tables> parent_;
    QString name_;
    QStringList fieldNames_;
    bool fieldsKnown_ = false;
};

class RemoteTables : public Tables, public std::enable_shared_from_this<RemoteTables> {
public:
    RemoteTables(Link link, std::weak_ptr<Database> parent)
        : link_(std::move(link))
        , parent_(std::move(parent)) {}
    int Count() override { return static_cast<int>(names().size()); }
    TablePtr At(int position) override {
        const QStringList& list = names();
        if (position < 0 || position >= list.size())
            throw noSuchItem(QString::number(position));
        return table(list.at(position));
    }
    DatabasePtr Parent() override { return parent_.lock(); }
    TablePtr Item(const QString& name) override {
        if (!names().contains(name))
            throw noSuchItem(name);
        return table(name);
    }

private:
    const QStringList& names() {
        if (!known_) {
            names_ = link_->value(u"Tables"_s).toStringList();
            known_ = true;
        }
        return names_;
    }
    TablePtr table(const QString& name) {
        TablePtr& slot = tables_[name];
        if (!slot)
            slot = std::make_shared<RemoteTable>(link_, weak_from_this(), name);
        return slot;
    }

    Link link_;
    std::weak_ptr<Database> parent_;
    QStringList names_;
    bool known_ = false;
    QHash<QString, TablePtr> tables_;
};

class RemoteUser : public User {
public:
    explicit RemoteUser(QString name)
        : name_(std::move(name)) {}
    QString Name() override { return name_; }

private:
    QString name_;
};

class RemoteLogon : public Logon {
public:
    explicit RemoteLogon(Link link)
        : link_(std::move(link)) {}
    std::shared_ptr<User> CurrentUser() override {
        return std::make_shared<RemoteUser>(link_->value(u"UserName"_s).toString());
    }

private:
    Link link_;
};

class RemoteExpression : public Expression {
public:
    RemoteExpression(Link link, QString text)
        : link_(std::move(link))
        , text_(std::move(text)) {}
    QVariant Evaluate(qint32 opt) override {
        return Remote::unpackValue(link_->value(u"Evaluate"_s, {text_, opt}));
    }

private:
    Link link_;
    QString text_;
};

class RemoteEvaluator : public Evaluator {
public:
    explicit RemoteEvaluator(Link link)
        : link_(std::move(link)) {}
    std::shared_ptr<Expression> Compile(const QString& text, qint32 opt) override {
        link_->call(u"Compile"_s, {text, opt});
        return std::make_shared<RemoteExpression>(link_, text);
    }

private:
    Link link_;
};

class RemoteTransaction : public Transaction {
public:
    explicit RemoteTransaction(Link link)
        : link_(std::move(link)) {}
    void Commit() override { link_->call(u"Commit"_s); }
    void Rollback() override { link_->call(u"Rollback"_s); }
    void Begin(qint32 opt) override { link_->call(u"Begin"_s, {opt}); }

private:
    Link link_;
};

class RemoteDatabase : public Database,
                       public TelephoneLocation,
                       public std::enable_shared_from_this<RemoteDatabase> {
public:
    explicit RemoteDatabase(Link link)
        : link_(std::move(link)) {}
    QString FileName() override { return link_->value(u"FileName"_s).toString(); }
    QString Name() override { return link_->value(u"Name"_s).toString(); }
    std::shared_ptr<::Evaluator> Evaluator() override {
        return std::make_shared<RemoteEvaluator>(link_);
    }
    std::shared_ptr<::Logon> Logon() override { return std::make_shared<RemoteLogon>(link_); }
    CollectionRef<::Tables> Tables() override {
        // One collection, so that Item gives the same table, with its cursor, on every call.
        if (!tables_)
            tables_ = std::make_shared<RemoteTables>(link_, weak_from_this());
        return tables_;
    }
    std::shared_ptr<Transaction> GetTransaction(qint32) override {
        return std::make_shared<RemoteTransaction>(link_);
    }
    QString LocationCountry() override { return link_->value(u"LocationCountry"_s).toString(); }
    QString LocationAreaCode() override { return link_->value(u"LocationAreaCode"_s).toString(); }

private:
    Link link_;
    std::shared_ptr<RemoteTables> tables_;
};

} // namespace

DatabasePtr connectRemoteDatabase(const QDBusConnection& connection, const QString& service,
                                  const QString& path) {
    return std::make_shared<RemoteDatabase>(
        std::make_shared<RemoteLink>(connection, service, path));
}
