#include "RemoteDatabase.h"

#include "RemoteCursor.h"
#include "RemoteLink.h"
#include "RemoteValues.h"

#include <QHash>

using namespace Qt::StringLiterals;

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

using Cursor = std::shared_ptr<RemoteCursor>;

class RemoteIndexes : public Indexes {
public:
    RemoteIndexes(Link link, Cursor cursor, QString table)
        : link_(std::move(link))
        , cursor_(std::move(cursor))
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
        cursor_->callHere(u"Activate"_s, {table_, name, opt});
    }

private:
    Link link_;
    Cursor cursor_;
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

class RemoteField : public Field, public FieldKind {
public:
    RemoteField(Cursor cursor, QString name, bool text)
        : cursor_(std::move(cursor))
        , name_(std::move(name))
        , text_(text) {}
    QString Name() override { return name_; }
    QVariant Value() override { return cursor_->value(name_); }
    void SetValue(const QVariant& value) override { cursor_->setValue(name_, value); }
    bool HoldsText() override { return text_; }

private:
    Cursor cursor_;
    QString name_;
    bool text_;
};

class RemoteFields : public Fields {
public:
    RemoteFields(Cursor cursor, QStringList names, QStringList texts)
        : cursor_(std::move(cursor))
        , names_(std::move(names))
        , texts_(std::move(texts)) {}
    int Count() override { return static_cast<int>(names_.size()); }
    FieldPtr At(int position) override { return Item(position); }
    FieldPtr Item(const QString& name) override {
        if (!names_.contains(name))
            throw noSuchItem(name);
        return std::make_shared<RemoteField>(cursor_, name, texts_.contains(name));
    }
    FieldPtr Item(int position) override {
        if (position < 0 || position >= names_.size())
            throw noSuchItem(QString::number(position));
        return Item(names_.at(position));
    }

private:
    Cursor cursor_;
    QStringList names_;
    QStringList texts_; // the fields that hold text
};

class RemoteTables;

class RemoteTable : public Table, public RecordKey {
public:
    RemoteTable(Link link, std::weak_ptr<::Tables> parent, QString name)
        : link_(std::move(link))
        , parent_(std::move(parent))
        , name_(std::move(name))
        , cursor_(std::make_shared<RemoteCursor>(link_, name_)) {
        link_->addCursor(cursor_);
    }
    std::shared_ptr<::Tables> Parent() override { return parent_.lock(); }
    QString Name() override { return name_; }
    QString Caption() override { return link_->value(u"Caption"_s, {name_}).toString(); }
    CollectionRef<::Fields> Fields() override {
        // The names change only with the schema, which no one changes under an open window.
        if (!fieldsKnown_) {
            fieldNames_ = link_->value(u"Fields"_s, {name_}).toStringList();
            bool unknown = false;
            const QList<QVariant> texts = link_->call(u"TextFields"_s, {name_}, &unknown);
            // A host that does not say holds text in every field.
            textFields_ = unknown || texts.isEmpty() ? fieldNames_ : texts.first().toStringList();
            fieldsKnown_ = true;
        }
        return std::make_shared<RemoteFields>(cursor_, fieldNames_, textFields_);
    }
    CollectionRef<::Indexes> Indexes() override {
        return std::make_shared<RemoteIndexes>(link_, cursor_, name_);
    }
    qint32 RecordCount() override { return link_->value(u"RecordCount"_s, {name_}).toInt(); }
    bool Eof() override { return cursor_->eof(); }
    void MoveFirst(qint32 opt) override { cursor_->moveFirst(opt); }
    void Skip(qint32 count, qint32 opt) override { cursor_->skip(count, opt); }
    void Update(qint32 opt) override { cursor_->update(opt); }
    QString RecordId() override { return cursor_->recordId(); }
    QString StableRecordKey() override { return cursor_->recordKey(); }
    std::shared_ptr<::Properties> Properties() override {
        return std::make_shared<RemoteProperties>(link_, name_);
    }
    void ShowMarked(bool on, qint32 opt) override {
        cursor_->callHere(u"ShowMarked"_s, {name_, on, opt});
    }
    void ShowUnmarked(bool on, qint32 opt) override {
        cursor_->callHere(u"ShowUnmarked"_s, {name_, on, opt});
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
    Cursor cursor_;
    QStringList fieldNames_;
    QStringList textFields_;
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
        // The label of a record in the page comes with the page.
        RemoteCursor* cursor = link_->active();
        if (cursor) {
            if (std::optional<QVariant> value = cursor->evaluation(text_))
                return *value;
            cursor->wantEvaluation(text_);
        }
        link_->prepareEvaluation(text_);
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
    void Commit() override {
        link_->dropPages();
        link_->call(u"Commit"_s);
    }
    void Rollback() override {
        link_->dropPages();
        link_->call(u"Rollback"_s);
    }
    void Begin(qint32 opt) override {
        link_->dropPages();
        link_->call(u"Begin"_s, {opt});
    }

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
    auto link = std::make_shared<RemoteLink>(connection, service, path);
    link->goDirect();
    return std::make_shared<RemoteDatabase>(std::move(link));
}
