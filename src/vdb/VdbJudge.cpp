#include "VdbJudge.h"

#include "Sqlite.h"
#include "VdbErrors.h"

using namespace Qt::StringLiterals;

namespace {

class VdbJudge : public ConditionJudge {
public:
    VdbJudge(const TableDef& table, const QStringList& checks, std::vector<int> fields)
        : fields_(std::move(fields)) {
        QStringList values;
        for (const FieldDef& field : table.fields)
            values << u"? AS "_s + quoteIdentifier(field.name);
        if (db_.open(u":memory:"_s, SQLITE_OPEN_READWRITE | SQLITE_OPEN_MEMORY) != SQLITE_OK)
            throw vdbError(VdbCode::StorageFailure, db_.message());
        conditions_ = db_.prepare(u"SELECT "_s + checks.join(u", "_s) + u" FROM (SELECT "_s +
                                  values.join(u", "_s) + u") AS "_s + quoteIdentifier(table.name));
    }

    std::vector<int> refused(const std::vector<QVariant>& values) override {
        StatementScope scope(*conditions_);
        for (size_t f = 0; f < values.size(); ++f)
            conditions_->bind(static_cast<int>(f + 1), values[f]);
        if (!conditions_->step())
            throw vdbError(VdbCode::StorageFailure, db_.message());
        std::vector<int> fields;
        for (size_t c = 0; c < fields_.size(); ++c) {
            if (conditions_->integer(static_cast<int>(c)) != 0)
                fields.push_back(fields_[c]);
        }
        return fields;
    }

private:
    std::vector<int> fields_; // the field of each condition
    SqliteConnection db_;
    std::unique_ptr<SqliteStatement> conditions_;
};

} // namespace

std::unique_ptr<ConditionJudge> makeVdbJudge(const TableDef& table) {
    QStringList checks;
    std::vector<int> fields;
    for (int f = 0; f < static_cast<int>(table.fields.size()); ++f) {
        if (table.fields[f].condition.isEmpty())
            continue;
        checks << u"(NOT ("_s + table.fields[f].condition + u")) IS 1"_s;
        fields.push_back(f);
    }
    if (checks.isEmpty())
        return nullptr;
    return std::make_unique<VdbJudge>(table, checks, std::move(fields));
}
