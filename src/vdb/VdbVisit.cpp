// The visit of a table's records: the order (row id, or an index's snapshot), the pages of ids
// it reads ahead, the current record's row, and the place a cursor can come back to.

#include "VdbCore.h"

#include "DbServer.h"
#include "VdbCatalogueSql.h"
#include "VdbErrors.h"

using namespace Qt::StringLiterals;

void VdbCore::readOrder(int t, VisitOrder& order) {
    QStringList columns;
    for (const int f : table(t).indexes[cursors_[t].activeIndex].fieldPositions)
        columns << u"t."_s + quoteIdentifier(table(t).fields[f].name);
    columns << u"t."_s + rowIdColumn();
    auto select =
        db_->prepare(u"SELECT t."_s + rowIdColumn() + u" FROM "_s + quoteIdentifier(table(t).name) +
                     u" AS t WHERE 1"_s + visitFilter(t, u"vdb_marks"_s) + u" ORDER BY "_s +
                     columns.join(u", "_s));
    while (select->step())
        order.add(select->integer(0));
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
    if (cursor.order)
        return nextOrderPage(cursor, cursor.page);
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
            cursor.loaded = false;
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

bool VdbCore::loadCurrent(int t) {
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
        cursor.loaded = false;
        return false;
    }
    const auto fieldCount = static_cast<size_t>(table(t).fields.size());
    cursor.row.resize(fieldCount);
    for (size_t f = 0; f < fieldCount; ++f)
        cursor.row[f] = load.value(static_cast<int>(f));
    cursor.loaded = true;
    cursor.rowTransaction = transaction_;
    return true;
}

void VdbCore::clearPage(int t) {
    Cursor& cursor = cursors_[t];
    cursor.ahead.clear();
    cursor.aheadCount = 0;
    cursor.page.clear();
    statements_[t].nextRowIds.reset();
}

void VdbCore::startRowIdVisit(int t) {
    statements_[t].nextRowIds = db_->prepare(
        u"SELECT t."_s + rowIdColumn() + u" FROM "_s + quoteIdentifier(table(t).name) +
        u" AS t WHERE t."_s + rowIdColumn() + u" > ?"_s + visitFilter(t, u"vdb_marks"_s) +
        u" ORDER BY t."_s + rowIdColumn() + u" LIMIT "_s + QString::number(kPageSize));
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
    place->orderPosition = cursor.order ? cursor.order->position() : 0;
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
    if (cursor.order)
        cursor.order->setPosition(place->orderPosition);
    cursor.lastKey = place->lastKey;
    cursor.exhausted = place->exhausted;
    cursor.page = place->page;
    cursor.pagePosition = place->pagePosition;
    cursor.current = place->current;
    // Read again when asked: the record may have changed since.
    cursor.loaded = false;
}

VdbCore::Cursor& VdbCore::positioned(int t) {
    requireCurrent(t);
    return cursors_[t];
}
