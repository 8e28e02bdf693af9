#include "FaultyDatabase.h"

using namespace Qt::StringLiterals;

namespace {

struct Context {
    DatabasePtr real;
    FaultHook fault;
    std::weak_ptr<Database> self;
    void check(const QString& operation) const {
        if (fault)
            fault(operation);
    }
};
using ContextPtr = std::shared_ptr<Context>;

// What every wrapper holds: the hook and the real object it passes calls on to.
template <typename Real>
class Wrapper {
public:
    Wrapper(ContextPtr c, Real real)
        : c_(std::move(c))
        , real_(std::move(real)) {}

protected:
    // The real object, once the hook has let operation through.
    const Real& after(const QString& operation) {
        c_->check(operation);
        return real_;
    }
    ContextPtr c_;
    Real real_;
};

class FaultyField : public Field, Wrapper<FieldPtr> {
public:
    FaultyField(ContextPtr c, FieldPtr real, QString key)
        : Wrapper(std::move(c), std::move(real))
        , key_(std::move(key)) {}
    QString Name() override { return real_->Name(); }
    QVariant Value() override { return after(u"Field.Value:"_s + key_)->Value(); }
    void SetValue(const QVariant& value) override {
        after(u"Field.SetValue:"_s + key_)->SetValue(value);
    }

private:
    QString key_;
};

class FaultyFields : public Fields, Wrapper<CollectionRef<Fields>> {
public:
    FaultyFields(ContextPtr c, CollectionRef<Fields> real, QString table)
        : Wrapper(std::move(c), std::move(real))
        , table_(std::move(table)) {}
    int Count() override { return real_->Count(); }
    FieldPtr At(int position) override {
        return wrap(
            after(u"Fields.At:"_s + table_ + u'.' + QString::number(position))->At(position));
    }
    FieldPtr Item(const QString& name) override {
        return wrap(after(u"Fields.Item:"_s + table_ + u'.' + name)->Item(name));
    }
    FieldPtr Item(int position) override { return wrap(real_->Item(position)); }

private:
    FieldPtr wrap(FieldPtr field) {
        const QString key = table_ + u'.' + field->Name();
        return std::make_shared<FaultyField>(c_, std::move(field), key);
    }
    QString table_;
};

class FaultyTables;

class FaultyTable : public Table, public RecordKey, public UpdateCheck, Wrapper<TablePtr> {
public:
    using Wrapper::Wrapper;
    std::shared_ptr<::Tables> Parent() override;
    QString Name() override { return real_->Name(); }
    QString Caption() override { return real_->Caption(); }
    CollectionRef<::Fields> Fields() override {
        return std::make_shared<FaultyFields>(c_, after(u"Table.Fields"_s)->Fields(),
                                              real_->Name());
    }
    CollectionRef<::Indexes> Indexes() override { return after(u"Table.Indexes"_s)->Indexes(); }
    qint32 RecordCount() override { return after(u"Table.RecordCount"_s)->RecordCount(); }
    bool Eof() override { return real_->Eof(); }
    void MoveFirst(qint32 opt) override { after(u"Table.MoveFirst"_s)->MoveFirst(opt); }
    void Skip(qint32 count, qint32 opt) override { after(u"Table.Skip"_s)->Skip(count, opt); }
    void Update(qint32 opt) override { after(u"Table.Update"_s)->Update(opt); }
    void CheckUpdate(qint32 opt) override {
        if (auto* check = dynamic_cast<UpdateCheck*>(after(u"Table.CheckUpdate"_s).get()))
            check->CheckUpdate(opt);
    }
    QString RecordId() override { return after(u"Table.RecordId"_s)->RecordId(); }
    // A fault here stands for a host without a key for the record.
    QString StableRecordKey() override {
        auto* key = dynamic_cast<RecordKey*>(real_.get());
        try {
            after(u"Table.StableRecordKey"_s);
        } catch (const ErrorRecord&) {
            key = nullptr;
        }
        return key ? key->StableRecordKey() : QString();
    }
    std::shared_ptr<::Properties> Properties() override {
        return after(u"Table.Properties"_s)->Properties();
    }
    void ShowMarked(bool on, qint32 opt) override { real_->ShowMarked(on, opt); }
    void ShowUnmarked(bool on, qint32 opt) override { real_->ShowUnmarked(on, opt); }
    qint32 MarkedCount() override { return after(u"Table.MarkedCount"_s)->MarkedCount(); }
    std::shared_ptr<::IndexUses> IndexUses() override {
        return after(u"Table.IndexUses"_s)->IndexUses();
    }

private:
    const TablePtr& after(const QString& operation) {
        c_->check(operation + u':' + real_->Name());
        return real_;
    }
};

class FaultyTables : public Tables, Wrapper<CollectionRef<Tables>> {
public:
    using Wrapper::Wrapper;
    int Count() override { return real_->Count(); }
    TablePtr At(int position) override { return wrap(real_->At(position)); }
    DatabasePtr Parent() override { return c_->self.lock(); }
    TablePtr Item(const QString& name) override {
        return wrap(after(u"Tables.Item:"_s + name)->Item(name));
    }

private:
    TablePtr wrap(const TablePtr& table) { return std::make_shared<FaultyTable>(c_, table); }
};

std::shared_ptr<::Tables> FaultyTable::Parent() {
    return std::make_shared<FaultyTables>(c_, c_->real->Tables());
}

class FaultyTransaction : public Transaction, Wrapper<std::shared_ptr<Transaction>> {
public:
    using Wrapper::Wrapper;
    void Commit() override { after(u"Transaction.Commit"_s)->Commit(); }
    void Rollback() override { after(u"Transaction.Rollback"_s)->Rollback(); }
    void Begin(qint32 opt) override { after(u"Transaction.Begin"_s)->Begin(opt); }
};

class FaultyDatabaseImpl : public Database, public TelephoneLocation {
public:
    explicit FaultyDatabaseImpl(ContextPtr c)
        : c_(std::move(c)) {}
    QString FileName() override { return c_->real->FileName(); }
    QString Name() override { return c_->real->Name(); }
    std::shared_ptr<::Evaluator> Evaluator() override { return c_->real->Evaluator(); }
    std::shared_ptr<::Logon> Logon() override { return c_->real->Logon(); }
    CollectionRef<::Tables> Tables() override {
        c_->check(u"Database.Tables"_s);
        return std::make_shared<FaultyTables>(c_, c_->real->Tables());
    }
    std::shared_ptr<Transaction> GetTransaction(qint32 opt) override {
        c_->check(u"Database.GetTransaction"_s);
        return std::make_shared<FaultyTransaction>(c_, c_->real->GetTransaction(opt));
    }
    QString LocationCountry() override {
        return location() ? location()->LocationCountry() : QString();
    }
    QString LocationAreaCode() override {
        return location() ? location()->LocationAreaCode() : QString();
    }

private:
    TelephoneLocation* location() const { return dynamic_cast<TelephoneLocation*>(c_->real.get()); }
    ContextPtr c_;
};

} // namespace

DatabasePtr faultyDatabase(DatabasePtr real, FaultHook fault) {
    auto context = std::make_shared<Context>();
    context->real = std::move(real);
    context->fault = std::move(fault);
    auto db = std::make_shared<FaultyDatabaseImpl>(context);
    context->self = db;
    return db;
}
