// The visit of a table's records: the order (row id, or an index's snapshot), the pages of ids
// it reads ahead, the current record's row, and the place a cursor can come back to.

#include "VdbCore.h"

#include "DbServer.h"
#include "VdbCatalogueSql.h"
#include "VdbErrors.h"

#include <QTemporaryFile>

using namespace Qt::StringLiterals;

namespace {

constexpr int kPageSize = 256;

} // namespace

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
