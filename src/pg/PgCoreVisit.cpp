#include "PgCore.h"

#include "PgErrors.h"

#include <QHash>

#include <limits>

using namespace Qt::StringLiterals;

// The cursor's visit: which records, in which order, read a page at a time.

namespace {

constexpr int kPageSize = 256;
const QString kRowId = u"vdb_rid"_s;

} // namespace

QString PgCore::visitFilter(int t) const {
    const Cursor& cursor = cursors_[t];
    if (cursor.showMarked && cursor.showUnmarked)
        return {};
    const QString marked = u"EXISTS (SELECT 1 FROM telnormer.vdb_marks m WHERE m.table_id = "_s +
                           QString::number(table(t).id) + u" AND m.rid = t."_s + kRowId + u')';
    return cursor.showMarked ? u" AND "_s + marked : u" AND NOT "_s + marked;
}

// The visit order of an index is fixed when the visit starts, so that rewriting an indexed field
// can neither skip nor revisit a record. The row ids stream from the server into a temporary
// file: memory stays flat however big the table.
void PgCore::buildSnapshot(int t) {
    Cursor& cursor = cursors_[t];
    cursor.order = std::make_unique<QTemporaryFile>();
    if (!cursor.order->open())
        throw pgError(VdbCode::StorageFailure,
                      u"cannot create a temporary file for the visit order: "_s +
                          cursor.order->errorString());
    cursor.orderCount = 0;
    cursor.orderPosition = 0;
    QStringList order;
    // As on a .vdb file: Null first, texts in the binary order of their characters.
    for (const int f : table(t).indexes[cursor.activeIndex].fieldPositions) {
        const FieldDef& field = table(t).fields[f];
        order << u"t."_s + pgQuote(field.name) +
                     (field.type == FieldType::Text ? u" COLLATE \"C\""_s : QString()) +
                     u" NULLS FIRST"_s;
    }
    order << u"t."_s + kRowId;
    const QString sql = u"COPY (SELECT t."_s + kRowId + u" FROM "_s + pgTable(table(t).name) +
                        u" AS t WHERE true"_s + visitFilter(t) + u" ORDER BY "_s +
                        order.join(u", "_s) + u") TO STDOUT"_s;
    PgResult start(PQexec(db_->handle(), sql.toUtf8().constData()));
    if (PQresultStatus(start.handle()) != PGRES_COPY_OUT)
        db_->throwFailure(start, u"reading the visit order"_s);
    std::vector<qint64> buffer;
    buffer.reserve(4096);
    auto flush = [&] {
        const auto bytes = static_cast<qint64>(buffer.size() * sizeof(qint64));
        if (cursor.order->write(reinterpret_cast<const char*>(buffer.data()), bytes) != bytes)
            throw pgError(VdbCode::StorageFailure,
                          u"cannot write the visit order: "_s + cursor.order->errorString());
        cursor.orderCount += static_cast<qint64>(buffer.size());
        buffer.clear();
    };
    char* line = nullptr;
    int length = 0;
    while ((length = PQgetCopyData(db_->handle(), &line, 0)) > 0) {
        buffer.push_back(QByteArray::fromRawData(line, length).trimmed().toLongLong());
        PQfreemem(line);
        if (buffer.size() == 4096)
            flush();
    }
    PgResult end(PQgetResult(db_->handle()));
    while (PGresult* rest = PQgetResult(db_->handle()))
        PQclear(rest);
    if (length == -2 || PQresultStatus(end.handle()) != PGRES_COMMAND_OK)
        db_->throwFailure(end, u"reading the visit order"_s);
    flush();
}

bool PgCore::fetchPage(int t) {
    Cursor& cursor = cursors_[t];
    cursor.page.clear();
    cursor.pagePosition = 0;
    if (cursor.exhausted)
        return false;
    const auto fieldCount = static_cast<int>(table(t).fields.size());
    auto rowOf = [&](const PgResult& result, int r) {
        Row row;
        row.rid = result.integer(r, 0);
        row.values.reserve(static_cast<size_t>(fieldCount));
        for (int f = 0; f < fieldCount; ++f)
            row.values.push_back(result.value(r, f + 1));
        return row;
    };
    if (cursor.order) {
        const qint64 count = std::min<qint64>(kPageSize, cursor.orderCount - cursor.orderPosition);
        if (count <= 0) {
            cursor.exhausted = true;
            return false;
        }
        std::vector<qint64> ids(static_cast<size_t>(count));
        const qint64 bytes = count * static_cast<qint64>(sizeof(qint64));
        if (!cursor.order->seek(cursor.orderPosition * static_cast<qint64>(sizeof(qint64))) ||
            cursor.order->read(reinterpret_cast<char*>(ids.data()), bytes) != bytes)
            throw pgError(VdbCode::StorageFailure,
                          u"cannot read the visit order: "_s + cursor.order->errorString());
        cursor.orderPosition += count;
        QString array = u"{"_s;
        for (size_t i = 0; i < ids.size(); ++i)
            array += (i ? u","_s : QString()) + QString::number(ids[i]);
        array += u'}';
        const PgResult result =
            db_->exec(u"SELECT "_s + columns(t) + u" FROM "_s + pgTable(table(t).name) +
                          u" AS t WHERE t."_s + kRowId + u" = ANY($1::bigint[])"_s,
                      {array});
        QHash<qint64, int> byId;
        for (int r = 0; r < result.rows(); ++r)
            byId.insert(result.integer(r, 0), r);
        // A record deleted since the visit began is passed over.
        for (const qint64 id : ids) {
            const auto found = byId.constFind(id);
            if (found != byId.constEnd())
                cursor.page.push_back(rowOf(result, *found));
        }
        return true;
    }
    const PgResult result =
        db_->exec(u"SELECT "_s + columns(t) + u" FROM "_s + pgTable(table(t).name) +
                      u" AS t WHERE t."_s + kRowId + u" > $1"_s + visitFilter(t) +
                      u" ORDER BY t."_s + kRowId + u" LIMIT "_s + QString::number(kPageSize),
                  {cursor.lastKey});
    for (int r = 0; r < result.rows(); ++r)
        cursor.page.push_back(rowOf(result, r));
    if (!cursor.page.empty())
        cursor.lastKey = cursor.page.back().rid;
    if (result.rows() < kPageSize)
        cursor.exhausted = true;
    return !cursor.page.empty();
}

void PgCore::advance(int t) {
    Cursor& cursor = cursors_[t];
    while (cursor.pagePosition >= cursor.page.size()) {
        if (!fetchPage(t)) {
            cursor.eof = true;
            cursor.loaded = false;
            return;
        }
    }
    cursor.current = std::move(cursor.page[cursor.pagePosition++]);
    cursor.loaded = true;
    cursor.eof = false;
}

void PgCore::dropEdits(Cursor& cursor) {
    for (auto& edit : cursor.edits)
        edit.reset();
    cursor.dirty = false;
}

void PgCore::moveFirst(int t) {
    Cursor& cursor = cursors_[t];
    dropEdits(cursor);
    cursor.page.clear();
    cursor.pagePosition = 0;
    cursor.eof = false;
    cursor.loaded = false;
    cursor.pending = true;
}

void PgCore::startIfPending(int t) {
    Cursor& cursor = cursors_[t];
    if (!cursor.pending)
        return;
    cursor.pending = false;
    cursor.eof = true;
    cursor.order.reset();
    cursor.exhausted = false;
    if (!cursor.showMarked && !cursor.showUnmarked) {
        cursor.exhausted = true;
        return;
    }
    if (cursor.activeIndex >= 0)
        buildSnapshot(t);
    else
        cursor.lastKey = std::numeric_limits<qint64>::min();
    advance(t);
}

void PgCore::skip(int t, qint32 count) {
    if (count < 0)
        throw pgError(VdbCode::InvalidArgument, u"Skip moves forward only."_s);
    startIfPending(t);
    Cursor& cursor = cursors_[t];
    if (count == 0 || cursor.eof)
        return;
    dropEdits(cursor);
    for (qint32 i = 0; i < count && !cursor.eof; ++i)
        advance(t);
}

bool PgCore::eof(int t) {
    startIfPending(t);
    return cursors_[t].eof;
}
