#include "VdbObjects.h"

#include "BatchRead.h"
#include "ChainedCommit.h"
#include "EngineCore.h"
#include "VdbErrors.h"
#include "VdbExpression.h"

using namespace Qt::StringLiterals;

namespace {

using CorePtr = std::shared_ptr<EngineCore>;

class VdbUser : public User {
public:
    explicit VdbUser(CorePtr core)
        : core_(std::move(core)) {}
    QString Name() override { return core_->login().userName; }

private:
    CorePtr core_;
};

class VdbLogon : public Logon {
public:
    explicit VdbLogon(CorePtr core)
        : core_(std::move(core)) {}
    std::shared_ptr<User> CurrentUser() override { return std::make_shared<VdbUser>(core_); }

private:
    CorePtr core_;
};

class VdbTransaction : public Transaction, public ChainedCommit {
public:
    explicit VdbTransaction(CorePtr core)
        : core_(std::move(core)) {}
    void Commit() override { core_->commit(); }
    void CommitThenBegin() override { core_->commitBeforeBegin(); }
    void Rollback() override { core_->rollback(); }
    void Begin(qint32) override { core_->begin(); }

private:
    CorePtr core_;
};

class VdbField : public Field, public FieldKind {
public:
    VdbField(CorePtr core, int table, int field)
        : core_(std::move(core))
        , table_(table)
        , field_(field) {}
    QString Name() override { return core_->catalogue().tables[table_].fields[field_].name; }
    QVariant Value() override { return core_->value(table_, field_); }
    void SetValue(const QVariant& value) override { core_->setValue(table_, field_, value); }
    bool HoldsText() override {
        return core_->catalogue().tables[table_].fields[field_].type == FieldType::Text;
    }

private:
    CorePtr core_;
    int table_;
    int field_;
};

class VdbFields : public Fields {
public:
    VdbFields(CorePtr core, int table)
        : core_(std::move(core))
        , table_(table) {}
    int Count() override { return static_cast<int>(def().fields.size()); }
    FieldPtr At(int position) override { return Item(position); }
    FieldPtr Item(const QString& name) override {
        return std::make_shared<VdbField>(core_, table_, core_->fieldIndex(table_, name));
    }
    FieldPtr Item(int position) override {
        if (position < 0 || position >= Count())
            throw vdbError(VdbCode::NoSuchItem, u"The table \""_s + def().name +
                                                    u"\" has no field at position "_s +
                                                    QString::number(position) + u'.');
        return std::make_shared<VdbField>(core_, table_, position);
    }

private:
    const TableDef& def() const { return core_->catalogue().tables[table_]; }
    CorePtr core_;
    int table_;
};

class VdbIndex : public Index {
public:
    explicit VdbIndex(QString name)
        : name_(std::move(name)) {}
    QString Name() override { return name_; }

private:
    QString name_;
};

class VdbIndexes : public Indexes {
public:
    VdbIndexes(CorePtr core, int table)
        : core_(std::move(core))
        , table_(table) {}
    int Count() override { return static_cast<int>(def().indexes.size()); }
    std::shared_ptr<Index> At(int position) override {
        if (position < 0 || position >= Count())
            throw vdbError(VdbCode::NoSuchItem, u"The table \""_s + def().name +
                                                    u"\" has no index at position "_s +
                                                    QString::number(position) + u'.');
        return std::make_shared<VdbIndex>(def().indexes[position].name);
    }
    std::shared_ptr<Index> Item(const QString& name) override {
        return std::make_shared<VdbIndex>(def().indexes[position(name)].name);
    }
    void Activate(const QString& name, qint32) override {
        core_->activateIndex(table_, position(name));
    }

private:
    const TableDef& def() const { return core_->catalogue().tables[table_]; }
    int position(const QString& name) const {
        const int i = def().indexPosition(name);
        if (i < 0)
            throw vdbError(VdbCode::NoSuchItem, u"The table \""_s + def().name +
                                                    u"\" has no index named \""_s + name +
                                                    u"\"."_s);
        return i;
    }
    CorePtr core_;
    int table_;
};

class VdbIndexUse : public IndexUse {
public:
    VdbIndexUse(CorePtr core, int table, QString indexName)
        : core_(std::move(core))
        , table_(table)
        , indexName_(std::move(indexName)) {}
    std::shared_ptr<::Index> Index() override { return VdbIndexes(core_, table_).Item(indexName_); }

private:
    CorePtr core_;
    int table_;
    QString indexName_;
};

class VdbIndexUses : public IndexUses {
public:
    VdbIndexUses(CorePtr core, int table)
        : core_(std::move(core))
        , table_(table) {}
    qint32 Count() override { return static_cast<qint32>(uses().size()); }
    std::shared_ptr<IndexUse> Item(int position) override {
        if (position < 0 || position >= Count())
            throw vdbError(VdbCode::NoSuchItem, u"There is no index use at position "_s +
                                                    QString::number(position) + u'.');
        return std::make_shared<VdbIndexUse>(core_, table_, uses()[position]);
    }

private:
    const QStringList& uses() const { return core_->catalogue().tables[table_].indexUses; }
    CorePtr core_;
    int table_;
};

class VdbProperty : public Property {
public:
    explicit VdbProperty(QString value)
        : value_(std::move(value)) {}
    QVariant Value() override { return value_; }

private:
    QString value_;
};

class VdbProperties : public Properties {
public:
    VdbProperties(CorePtr core, int table)
        : core_(std::move(core))
        , table_(table) {}
    std::shared_ptr<Property> Item(const QString& name) override {
        const TableDef& def = core_->catalogue().tables[table_];
        for (const auto& [key, value] : def.properties) {
            if (key == name)
                return std::make_shared<VdbProperty>(value);
        }
        throw vdbError(VdbCode::NoSuchItem, u"The table \""_s + def.name +
                                                u"\" has no property named \""_s + name + u"\"."_s);
    }

private:
    CorePtr core_;
    int table_;
};

class VdbTables : public Tables {
public:
    explicit VdbTables(CorePtr core)
        : core_(std::move(core)) {}
    int Count() override { return static_cast<int>(core_->catalogue().tables.size()); }
    TablePtr At(int position) override {
        if (position < 0 || position >= Count())
            throw vdbError(VdbCode::NoSuchItem,
                           u"There is no table at position "_s + QString::number(position) + u'.');
        return core_->tableHandle(position);
    }
    DatabasePtr Parent() override { return makeDatabaseHandle(core_); }
    TablePtr Item(const QString& name) override {
        return core_->tableHandle(core_->tableIndex(name));
    }

private:
    CorePtr core_;
};

class VdbTable : public Table,
                 public RecordKey,
                 public CursorMark,
                 public BatchRead,
                 public UpdateCheck {
public:
    VdbTable(CorePtr core, int table)
        : core_(std::move(core))
        , table_(table) {}
    std::shared_ptr<::Tables> Parent() override { return std::make_shared<VdbTables>(core_); }
    QString Name() override { return def().name; }
    QString Caption() override { return def().caption; }
    CollectionRef<::Fields> Fields() override { return std::make_shared<VdbFields>(core_, table_); }
    CollectionRef<::Indexes> Indexes() override {
        return std::make_shared<VdbIndexes>(core_, table_);
    }
    qint32 RecordCount() override { return core_->recordCount(table_); }
    bool Eof() override { return core_->eof(table_); }
    void MoveFirst(qint32) override { core_->moveFirst(table_); }
    void Skip(qint32 count, qint32) override { core_->skip(table_, count); }
    void Update(qint32) override { core_->update(table_); }
    void CheckUpdate(qint32) override { core_->checkUpdate(table_); }
    QString RecordId() override { return core_->recordId(table_); }
    // The row id: kept by every update, never reused while the record exists.
    QString StableRecordKey() override { return core_->recordId(table_); }
    std::shared_ptr<CursorPlace> Mark() override { return core_->cursorPlace(table_); }
    void Return(const std::shared_ptr<CursorPlace>& place) override {
        if (!place)
            throw vdbError(VdbCode::InvalidArgument, u"No place to return to."_s);
        core_->returnTo(table_, *place);
    }
    std::shared_ptr<::Properties> Properties() override {
        return std::make_shared<VdbProperties>(core_, table_);
    }
    void ShowMarked(bool on, qint32) override { core_->setShowMarked(table_, on); }
    void ShowUnmarked(bool on, qint32) override { core_->setShowUnmarked(table_, on); }
    qint32 MarkedCount() override { return core_->markedCount(table_); }
    std::shared_ptr<::IndexUses> IndexUses() override {
        return std::make_shared<VdbIndexUses>(core_, table_);
    }
    QList<QVariantList> ReadAhead(const QStringList& fields, qint32 count) override {
        std::vector<int> positions;
        for (const QString& name : fields)
            positions.push_back(core_->fieldIndex(table_, name));
        return core_->readAhead(table_, positions, count);
    }

private:
    const TableDef& def() const { return core_->catalogue().tables[table_]; }
    CorePtr core_;
    int table_;
};

class VdbDatabase : public Database, public TelephoneLocation {
public:
    explicit VdbDatabase(CorePtr core)
        : core_(std::move(core)) {}
    QString FileName() override { return core_->fileName(); }
    QString Name() override { return core_->catalogue().name; }
    std::shared_ptr<::Evaluator> Evaluator() override { return makeEvaluator(core_); }
    std::shared_ptr<::Logon> Logon() override { return std::make_shared<VdbLogon>(core_); }
    CollectionRef<::Tables> Tables() override { return std::make_shared<VdbTables>(core_); }
    std::shared_ptr<Transaction> GetTransaction(qint32) override {
        return std::make_shared<VdbTransaction>(core_);
    }
    QString LocationCountry() override { return core_->catalogue().country; }
    QString LocationAreaCode() override { return core_->catalogue().areaCode; }

private:
    CorePtr core_;
};

} // namespace

DatabasePtr makeDatabaseHandle(std::shared_ptr<EngineCore> core) {
    return std::make_shared<VdbDatabase>(std::move(core));
}

TablePtr makeTableHandle(std::shared_ptr<EngineCore> core, int table) {
    return std::make_shared<VdbTable>(std::move(core), table);
}
