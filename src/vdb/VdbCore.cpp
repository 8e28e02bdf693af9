#include "VdbCore.h"

#include "FieldValues.h"
#include "VdbCatalogueSql.h"
#include "VdbErrors.h"
#include "VdbObjects.h"

#include <QDate>
#include <QDateTime>
#include <QTemporaryFile>

#include <limits>

using namespace Qt::StringLiterals;

namespace {

constexpr int kPageSize = 256;

QString rowIdColumn() {
    return QString::fromUtf16(kRowIdColumn);
}

qint32 clampCount(qint64 count) {
    return static_cast<qint32>(std::min<qint64>(count, std::numeric_limits<qint32>::max()));
}

} // namespace

VdbCore::VdbCore(std::unique_ptr<SqliteConnection> db, QString fileName, Catalogue catalogue,
                 Login login)
    : db_(std::move(db))
    , fileName_(std::move(fileName))
    , catalogue_(std::move(catalogue))
    , login_(std::move(login))
    , cursors_(catalogue_.tables.size())
    , statements_(catalogue_.tables.size())
    , handles_(catalogue_.tables.size()) {
    for (qsizetype t = 0; t < catalogue_.tables.size(); ++t)
        cursors_[t].edits.resize(catalogue_.tables[t].fields.size());
}

VdbCore::~VdbCore() {
    // Statements go before their connections; an open transaction is rolled back by SQLite.
    statements_.clear();
    begin_.reset();
    commit_.reset();
    rollback_.reset();
}

std::shared_ptr<Table> VdbCore::tableHandle(int t) {
    std::shared_ptr<Table> handle = handles_[t].lock();
    if (!handle) {
        handle = makeTableHandle(shared_from_this(), t);
        handles_[t] = handle;
    }
    return handle;
}

int VdbCore::tableIndex(const QString& name) const {
    const int t = catalogue_.tablePosition(name);
    if (t < 0)
        throw vdbError(VdbCode::NoSuchItem, u"There is no table named \""_s + name + u"\"."_s);
    return t;
}

int VdbCore::fieldIndex(int t, const QString& name) const {
    const int f = table(t).fieldPosition(name);
    if (f < 0)
        throw vdbError(VdbCode::NoSuchItem, u"The table \""_s + table(t).name +
                                                u"\" has no field named \""_s + name + u"\"."_s);
    return f;
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

void VdbCore::activateIndex(int t, int index) {
    cursors_[t].activeIndex = index;
}

void VdbCore::setShowMarked(int t, bool on) {
    cursors_[t].showMarked = on;
}

void VdbCore::setShowUnmarked(int t, bool on) {
    cursors_[t].showUnmarked = on;
}

QString VdbCore::visitFilter(int t) const {
    const Cursor& cursor = cursors_[t];
    if (cursor.showMarked && cursor.showUnmarked)
        return {};
    const QString marked = u"EXISTS (SELECT 1 FROM vdb_marks m WHERE m.table_id = "_s +
                           QString::number(table(t).id) + u" AND m.rid = t."_s + rowIdColumn() +
                           u')';
    return cursor.showMarked ? u" AND "_s + marked : u" AND NOT "_s + marked;
}

// The visit order of an index is fixed when the visit starts, so that rewriting an indexed field
// can neither skip nor revisit a record. It goes to a temporary file of row ids: memory stays flat
// however big the table.
void VdbCore::buildSnapshot(int t) {
    Cursor& cursor = cursors_[t];
    cursor.order = std::make_unique<QTemporaryFile>();
    if (!cursor.order->open())
        throw vdbError(VdbCode::StorageFailure, u"cannot create a temporary file for the visit "
                                                "order: "_s +
                                                    cursor.order->errorString());
    cursor.orderCount = 0;
    cursor.orderPosition = 0;
    QStringList order;
    for (const int f : table(t).indexes[cursor.activeIndex].fieldPositions)
        order << u"t."_s + quoteIdentifier(table(t).fields[f].name);
    order << u"t."_s + rowIdColumn();
    auto select =
        db_->prepare(u"SELECT t."_s + rowIdColumn() + u" FROM "_s + quoteIdentifier(table(t).name) +
                     u" AS t WHERE 1"_s + visitFilter(t) + u" ORDER BY "_s + order.join(u", "_s));
    std::vector<qint64> buffer;
    buffer.reserve(4096);
    auto flush = [&] {
        const auto bytes = static_cast<qint64>(buffer.size() * sizeof(qint64));
        if (cursor.order->write(reinterpret_cast<const char*>(buffer.data()), bytes) != bytes)
            throw vdbError(VdbCode::StorageFailure,
                           u"cannot write the visit order: "_s + cursor.order->errorString());
        cursor.orderCount += static_cast<qint64>(buffer.size());
        buffer.clear();
    };
    while (select->step()) {
        buffer.push_back(select->integer(0));
        if (buffer.size() == 4096)
            flush();
    }
    flush();
}

// keep: the ids not visited yet stay in front of the new ones (a read ahead looks past the
// page's end).
bool VdbCore::fetchPage(int t, bool keep) {
    Cursor& cursor = cursors_[t];
    if (keep)
        cursor.page.erase(cursor.page.begin(),
                          cursor.page.begin() + static_cast<qsizetype>(cursor.pagePosition));
    else
        cursor.page.clear();
    cursor.pagePosition = 0;
    if (cursor.exhausted)
        return false;
    const size_t before = cursor.page.size();
    if (cursor.order) {
        const qint64 count = std::min<qint64>(kPageSize, cursor.orderCount - cursor.orderPosition);
        if (count <= 0) {
            cursor.exhausted = true;
            return false;
        }
        cursor.page.resize(before + static_cast<size_t>(count));
        const qint64 bytes = count * static_cast<qint64>(sizeof(qint64));
        if (!cursor.order->seek(cursor.orderPosition * static_cast<qint64>(sizeof(qint64))) ||
            cursor.order->read(reinterpret_cast<char*>(cursor.page.data() + before), bytes) !=
                bytes)
            throw vdbError(VdbCode::StorageFailure,
                           u"cannot read the visit order: "_s + cursor.order->errorString());
        cursor.orderPosition += count;
        return true;
    }
    SqliteStatement& next = *statements_[t].nextRowIds;
    // Read one page and let go of the statement: no read stays open across a commit.
    StatementScope scope(next);
    next.bindInt(1, cursor.lastKey);
    while (next.step()) {
        cursor.lastKey = next.integer(0);
        cursor.page.push_back(cursor.lastKey);
    }
    if (cursor.page.size() - before < static_cast<size_t>(kPageSize))
        cursor.exhausted = true;
    return cursor.page.size() > before;
}

void VdbCore::advance(int t) {
    Cursor& cursor = cursors_[t];
    for (;;) {
        if (cursor.pagePosition >= cursor.page.size() && !fetchPage(t)) {
            cursor.eof = true;
            cursor.rowLoaded = false;
            return;
        }
        cursor.current = cursor.page[cursor.pagePosition++];
        // A record deleted since the visit began is passed over.
        if (loadVisited(t)) {
            cursor.eof = false;
            return;
        }
    }
}

bool VdbCore::loadRow(int t) {
    Cursor& cursor = cursors_[t];
    TableStatements& statements = statements_[t];
    if (!statements.loadRow) {
        QStringList columns;
        for (const FieldDef& field : table(t).fields)
            columns << quoteIdentifier(field.name);
        if (columns.isEmpty())
            columns << rowIdColumn();
        statements.loadRow = db_->prepare(u"SELECT "_s + columns.join(u", "_s) + u" FROM "_s +
                                              quoteIdentifier(table(t).name) + u" WHERE "_s +
                                              rowIdColumn() + u" = ?"_s,
                                          true);
    }
    SqliteStatement& load = *statements.loadRow;
    StatementScope scope(load);
    load.bindInt(1, cursor.current);
    if (!load.step()) {
        cursor.rowLoaded = false;
        return false;
    }
    const auto fieldCount = static_cast<size_t>(table(t).fields.size());
    cursor.row.resize(fieldCount);
    for (size_t f = 0; f < fieldCount; ++f)
        cursor.row[f] = load.value(static_cast<int>(f));
    cursor.rowLoaded = true;
    cursor.rowTransaction = transaction_;
    return true;
}

void VdbCore::dropEdits(Cursor& cursor) {
    for (auto& edit : cursor.edits)
        edit.reset();
    cursor.dirty = false;
}

void VdbCore::moveFirst(int t) {
    Cursor& cursor = cursors_[t];
    dropEdits(cursor);
    cursor.ahead.clear();
    cursor.aheadCount = 0;
    cursor.page.clear();
    cursor.pagePosition = 0;
    cursor.eof = false;
    cursor.rowLoaded = false;
    cursor.pending = true;
}

void VdbCore::startIfPending(int t) {
    Cursor& cursor = cursors_[t];
    if (!cursor.pending)
        return;
    cursor.pending = false;
    ++cursor.visit;
    cursor.eof = true;
    cursor.order.reset();
    cursor.exhausted = false;
    statements_[t].nextRowIds.reset();
    if (!cursor.showMarked && !cursor.showUnmarked) {
        cursor.exhausted = true;
        return;
    }
    if (cursor.activeIndex >= 0) {
        buildSnapshot(t);
    } else {
        statements_[t].nextRowIds = db_->prepare(
            u"SELECT t."_s + rowIdColumn() + u" FROM "_s + quoteIdentifier(table(t).name) +
            u" AS t WHERE t."_s + rowIdColumn() + u" > ?"_s + visitFilter(t) + u" ORDER BY t."_s +
            rowIdColumn() + u" LIMIT "_s + QString::number(kPageSize));
        cursor.lastKey = std::numeric_limits<qint64>::min();
    }
    advance(t);
}

void VdbCore::skip(int t, qint32 count) {
    if (count < 0)
        throw vdbError(VdbCode::InvalidArgument, u"Skip moves forward only."_s);
    startIfPending(t);
    Cursor& cursor = cursors_[t];
    if (count == 0 || cursor.eof)
        return;
    dropEdits(cursor);
    for (qint32 i = 0; i < count && !cursor.eof; ++i)
        advance(t);
}

namespace {

struct VdbPlace : CursorPlace {
    const void* core = nullptr;
    int table = 0;
    quint64 visit = 0;
    bool eof = true;
    qint64 orderPosition = 0;
    qint64 lastKey = 0;
    bool exhausted = true;
    std::vector<qint64> page;
    size_t pagePosition = 0;
    qint64 current = 0;
};

} // namespace

std::shared_ptr<CursorPlace> VdbCore::cursorPlace(int t) {
    startIfPending(t);
    const Cursor& cursor = cursors_[t];
    auto place = std::make_shared<VdbPlace>();
    place->core = this;
    place->table = t;
    place->visit = cursor.visit;
    place->eof = cursor.eof;
    place->orderPosition = cursor.orderPosition;
    place->lastKey = cursor.lastKey;
    place->exhausted = cursor.exhausted;
    place->page = cursor.page;
    place->pagePosition = cursor.pagePosition;
    place->current = cursor.current;
    return place;
}

void VdbCore::returnTo(int t, const CursorPlace& base) {
    const auto* place = dynamic_cast<const VdbPlace*>(&base);
    Cursor& cursor = cursors_[t];
    if (!place || place->core != this || place->table != t || place->visit != cursor.visit ||
        cursor.pending)
        throw vdbError(VdbCode::InvalidArgument, u"The place belongs to another visit."_s);
    dropEdits(cursor);
    cursor.eof = place->eof;
    cursor.orderPosition = place->orderPosition;
    cursor.lastKey = place->lastKey;
    cursor.exhausted = place->exhausted;
    cursor.page = place->page;
    cursor.pagePosition = place->pagePosition;
    cursor.current = place->current;
    // Read again when asked: the record may have changed since.
    cursor.rowLoaded = false;
}

bool VdbCore::eof(int t) {
    startIfPending(t);
    return cursors_[t].eof;
}

VdbCore::Cursor& VdbCore::positioned(int t) {
    startIfPending(t);
    Cursor& cursor = cursors_[t];
    if (cursor.eof)
        throw vdbError(VdbCode::NoCurrentRecord,
                       u"The table \""_s + table(t).name + u"\" has no current record."_s);
    if (!cursor.rowLoaded && !loadRow(t))
        throw vdbError(VdbCode::NoCurrentRecord, u"The current record of the table \""_s +
                                                     table(t).name + u"\" no longer exists."_s);
    return cursor;
}

QString VdbCore::recordId(int t) {
    return QString::number(positioned(t).current);
}

QVariant VdbCore::fromStored(FieldType type, const QVariant& stored) {
    return fieldValueFromStored(type, stored);
}

QVariant VdbCore::storedValue(int t, int f, const QVariant& value) const {
    return storedFieldValue(table(t).fields[f], value);
}

QVariant VdbCore::value(int t, int f) {
    Cursor& cursor = positioned(t);
    const FieldType type = table(t).fields[f].type;
    if (cursor.edits[f])
        return fromStored(type, *cursor.edits[f]);
    return fromStored(type, cursor.row[f]);
}

void VdbCore::setValue(int t, int f, const QVariant& value) {
    Cursor& cursor = positioned(t);
    // Bytes that are not UTF-8 were never understood: overwriting them would lose the original.
    if (cursor.row[f].metaType().id() == QMetaType::QByteArray)
        throw vdbError(VdbCode::TypeMismatch,
                       u"The stored value of the field \""_s + table(t).fields[f].name +
                           u"\" is not valid UTF-8 text; it is left as it is."_s);
    cursor.edits[f] = storedValue(t, f, value);
    cursor.dirty = true;
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

void VdbCore::throwWriteFailure(int t, int rc) {
    const QString message = db_->message();
    if (rc == SQLITE_CONSTRAINT_CHECK) {
        const qsizetype at = message.indexOf(u"vdb_ck_"_s);
        bool ok = false;
        const int f = at < 0 ? -1 : message.mid(at + 7).toInt(&ok);
        if (ok && f >= 0 && f < table(t).fields.size()) {
            const FieldDef& field = table(t).fields[f];
            throw vdbError(VdbCode::ConditionViolated, u"The value of the field \""_s + field.name +
                                                           u"\" does not meet its condition ("_s +
                                                           field.condition + u")."_s);
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
                               fileName_);
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
        cursor.rowLoaded = false;
}
