#include "VdbJudge.h"

#include "Sqlite.h"
#include "VdbErrors.h"

using namespace Qt::StringLiterals;

namespace {

class VdbJudge : public ConditionJudge {
public:
    explicit VdbJudge(const TableDef& table, const QStringList& checks) {
        QStringList values;
        for (const FieldDef& field : table.fields)
            values << u"? AS "_s + quoteIdentifier(field.name);
        if (db_.open(u":memory:"_s, SQLITE_OPEN_READWRITE | SQLITE_OPEN_MEMORY) != SQLITE_OK)
            throw vdbError(VdbCode::StorageFailure, db_.message());
        conditions_ = db_.prepare(u"SELECT "_s + checks.join(u", "_s) + u" FROM (SELECT "_s +
                                  values.join(u", "_s) + u") AS "_s + quoteIdentifier(table.name));
    }

    bool allows(const std::vector<QVariant>& values) override {
        StatementScope scope(*conditions_);
        for (size_t f = 0; f < values.size(); ++f)
            conditions_->bind(static_cast<int>(f + 1), values[f]);
        if (!conditions_->step())
            return false;
        for (int c = 0; c < sqlite3_column_count(conditions_->handle()); ++c) {
            if (conditions_->integer(c) != 0)
                return false;
        }
        return true;
    }

private:
    SqliteConnection db_;
    std::unique_ptr<SqliteStatement> conditions_;
};

} // namespace

std::unique_ptr<ConditionJudge> makeVdbJudge(const TableDef& table) {
    QStringList checks;
    for (const FieldDef& field : table.fields) {
        if (!field.condition.isEmpty())
            checks << u"(NOT ("_s + field.condition + u")) IS 1"_s;
    }
    if (checks.isEmpty())
        return nullptr;
    return std::make_unique<VdbJudge>(table, checks);
}
