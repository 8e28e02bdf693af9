#include "VdbCore.h"

#include "FieldValues.h"
#include "VdbCatalogueSql.h"
#include "VdbErrors.h"
#include "VdbObjects.h"

#include <QDate>
#include <QDateTime>

#include <limits>

using namespace Qt::StringLiterals;

namespace {

qint32 clampCount(qint64 count) {
    return static_cast<qint32>(std::min<qint64>(count, std::numeric_limits<qint32>::max()));
}

} // namespace

VdbCore::VdbCore(std::unique_ptr<SqliteConnection> db, QString fileName, Catalogue catalogue,
                 Login login)
    : CursorCore(std::move(fileName), std::move(catalogue), std::move(login), vdbError)
    , db_(std::move(db))
    , cursors_(this->catalogue().tables.size())
    , statements_(this->catalogue().tables.size()) {
    for (size_t t = 0; t < cursors_.size(); ++t)
        cursors_[t].edits.resize(table(static_cast<int>(t)).fields.size());
}

VdbCore::~VdbCore() {
    // Statements go before their connections; an open transaction is rolled back by SQLite.
    statements_.clear();
    begin_.reset();
    commit_.reset();
    rollback_.reset();
}

qint32 VdbCore::recordCount(int t) {
    auto count = db_->prepare(u"SELECT count(*) FROM "_s + quoteIdentifier(table(t).name));
    count->step();
    return clampCount(count->integer(0));
}

qint32 VdbCore::markedCount(int t) {
    auto count = db_->prepare(u"SELECT count(*) FROM vdb_marks WHERE table_id = ?"_s);
    count->bindInt(1, table(t).id);
    count->step();
    return clampCount(count->integer(0));
}

QVariant VdbCore::fromStored(FieldType type, const QVariant& stored) {
    return fieldValueFromStored(type, stored);
}

SqliteStatement& VdbCore::updateStatement(int t, const std::vector<bool>& mask) {
    auto& updates = statements_[t].updates;
    auto found = updates.find(mask);
    if (found != updates.end())
        return *found->second;
    QStringList assignments;
    for (size_t f = 0; f < mask.size(); ++f) {
        if (mask[f])
            assignments << quoteIdentifier(table(t).fields[static_cast<qsizetype>(f)].name) +
                               u" = ?"_s;
    }
    auto statement =
        db_->prepare(u"UPDATE "_s + quoteIdentifier(table(t).name) + u" SET "_s +
                         assignments.join(u", "_s) + u" WHERE "_s + rowIdColumn() + u" = ?"_s,
                     true);
    return *updates.emplace(mask, std::move(statement)).first->second;
}

namespace {

ErrorRecord conditionViolated(const FieldDef& field) {
    return vdbError(VdbCode::ConditionViolated, u"The value of the field \""_s + field.name +
                                                    u"\" does not meet its condition ("_s +
                                                    field.condition + u")."_s);
}

} // namespace

void VdbCore::throwWriteFailure(int t, int rc) {
    const QString message = db_->message();
    if (rc == SQLITE_CONSTRAINT_CHECK) {
        const qsizetype at = message.indexOf(u"vdb_ck_"_s);
        bool ok = false;
        const int f = at < 0 ? -1 : message.mid(at + 7).toInt(&ok);
        if (ok && f >= 0 && f < table(t).fields.size()) {
            throw conditionViolated(table(t).fields[f]);
        }
        throw vdbError(VdbCode::ConditionViolated, message);
    }
    if (rc == SQLITE_CONSTRAINT_DATATYPE)
        throw vdbError(VdbCode::TypeMismatch, message);
    throwSqlite(db_->handle(), rc, u"writing to the table \""_s + table(t).name + u'"');
}

void VdbCore::update(int t) {
    Cursor& cursor = positioned(t);
    if (!cursor.dirty)
        return;
    // The batch whose Begin failed is begun now: its writes belong in one transaction.
    if (beginFailed_ && !inTransaction())
        begin();
    std::vector<bool> mask(cursor.edits.size());
    for (size_t f = 0; f < mask.size(); ++f)
        mask[f] = cursor.edits[f].has_value();
    SqliteStatement& statement = updateStatement(t, mask);
    {
        StatementScope scope(statement);
        int column = 1;
        for (const auto& edit : cursor.edits) {
            if (edit)
                statement.bind(column++, *edit);
        }
        statement.bindInt(column, cursor.current);
        const int rc = statement.stepRaw();
        if (rc != SQLITE_DONE)
            throwWriteFailure(t, rc);
    }
    for (size_t f = 0; f < mask.size(); ++f) {
        if (cursor.edits[f])
            cursor.row[f] = *cursor.edits[f];
    }
    dropEdits(cursor);
}

// The conditions judged by a read over the record as update() would store it: what a CHECK
// constraint refuses (a false, not a null, result), found without taking the write lock.
void VdbCore::checkUpdate(int t) {
    Cursor& cursor = positioned(t);
    if (!cursor.dirty)
        return;
    const TableDef& def = table(t);
    std::unique_ptr<SqliteStatement>& statement = statements_[t].check;
    std::vector<int> checked;
    QStringList columns;
    QStringList checks;
    for (qsizetype f = 0; f < def.fields.size(); ++f) {
        columns << u"? AS "_s + quoteIdentifier(def.fields[f].name);
        if (!def.fields[f].condition.isEmpty()) {
            checked.push_back(static_cast<int>(f));
            checks << u"(NOT ("_s + def.fields[f].condition + u")) IS 1"_s;
        }
    }
    if (checked.empty())
        return;
    if (!statement)
        statement = db_->prepare(u"SELECT "_s + checks.join(u", "_s) + u" FROM (SELECT "_s +
                                     columns.join(u", "_s) + u") AS "_s + quoteIdentifier(def.name),
                                 true);
    StatementScope scope(*statement);
    for (size_t f = 0; f < cursor.row.size(); ++f)
        statement->bind(static_cast<int>(f + 1),
                        cursor.edits[f] ? *cursor.edits[f] : cursor.row[f]);
    if (!statement->step())
        return;
    for (size_t c = 0; c < checked.size(); ++c) {
        if (statement->integer(static_cast<int>(c)) == 1) {
            throw conditionViolated(def.fields[checked[c]]);
        }
    }
}

// Transaction control runs once per batch: compiled once, not parsed every time.
void VdbCore::runControl(std::unique_ptr<SqliteStatement>& statement, const QString& sql) {
    if (!statement)
        statement = db_->prepare(sql, true);
    StatementScope scope(*statement);
    statement->step();
}

void VdbCore::begin() {
    // Rows read ahead belong to the transaction that ends or to none.
    newTransaction();
    if (inTransaction())
        throw vdbError(VdbCode::TransactionState, u"A transaction is already open."_s);
    beginFailed_ = true;
    try {
        // IMMEDIATE takes the write lock now: a busy database fails here, not in the middle of a
        // batch.
        runControl(begin_, u"BEGIN IMMEDIATE"_s);
    } catch (const ErrorRecord& e) {
        if (e.number() == serverErrorNumber(VdbCode::Locked))
            throw vdbError(VdbCode::Locked,
                           u"Another program is writing to the database and did not finish in "
                           "time, so no batch of changes could be begun: "_s +
                               fileName());
        throw;
    }
    beginFailed_ = false;
}

// After a failed Begin, or a Commit that SQLite answered by undoing the batch, nothing was written
// since (update() begins first), so nothing waits to be kept or undone: closing that batch is no
// error of its own.
bool VdbCore::nothingBegun() {
    if (inTransaction() || !beginFailed_)
        return false;
    beginFailed_ = false;
    return true;
}

void VdbCore::commit() {
    newTransaction();
    if (nothingBegun())
        return;
    if (!inTransaction())
        throw vdbError(VdbCode::TransactionState, u"There is no open transaction to commit."_s);
    try {
        runControl(commit_, u"COMMIT"_s);
    } catch (const ErrorRecord& e) {
        if (inTransaction())
            throw;
        // SQLite undid the batch (a full disk does that): said once, nothing left to close.
        beginFailed_ = true;
        throw ErrorRecord(e.number(), e.description() + u"; the batch's changes were undone."_s,
                          e.source());
    }
}

void VdbCore::rollback() {
    newTransaction();
    if (nothingBegun())
        return;
    if (!inTransaction())
        throw vdbError(VdbCode::TransactionState, u"There is no open transaction to roll back."_s);
    runControl(rollback_, u"ROLLBACK"_s);
    // Records read inside the transaction may hold undone values.
    for (Cursor& cursor : cursors_)
        cursor.loaded = false;
}
