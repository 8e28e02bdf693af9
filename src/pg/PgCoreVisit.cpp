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
    flushWrites();
    db_->sendPendingBegin();
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

namespace {

bool isEncodingFailure(const PgResult& result) {
    const QString state = sqlState(result);
    return state == u"22P05"_s || state == u"22021"_s;
}

} // namespace

// Runs a read that must not cost the open batch: inside a transaction under a savepoint, in the
// same round trip. Hands back the failed result whatever it is; empty when nothing came back.
PgResult PgCore::guardedRead(const QString& sql, const QVariantList& params) {
    if (!db_->inTransaction())
        return db_->execRaw(sql, params);
    // A record read again comes with what the batch wrote to it: the held-back writes go first.
    std::vector<PgResult> results = withWrites(
        {{u"SAVEPOINT vdb_read"_s, {}}, {sql, params}, {u"RELEASE SAVEPOINT vdb_read"_s, {}}});
    if (PQresultStatus(results[1].handle()) != PGRES_TUPLES_OK &&
        PQstatus(db_->handle()) == CONNECTION_OK)
        db_->restoreWithNext(u"ROLLBACK TO SAVEPOINT vdb_read"_s);
    return std::move(results[1]);
}

PgCore::Row PgCore::rowOf(int t, const PgResult& result, int r) const {
    Row row;
    row.rid = result.integer(r, 0);
    for (int f = 0; f < static_cast<int>(table(t).fields.size()); ++f)
        row.values.push_back(result.value(r, f + 1));
    return row;
}

// The records of a page: from (the FROM and WHERE of the read, over the table as t). A text the
// server cannot send as UTF-8 (a byte the database's encoding has no character for) fails only
// its value: the page is read again record by record, and that value comes as its stored bytes,
// which no run overwrites.
// lock: FOR UPDATE, inside a transaction; the rows the fallback reads are not locked.
std::vector<PgCore::Row> PgCore::readRows(int t, const QString& from, const QVariantList& params,
                                          bool lock) {
    std::vector<Row> rows;
    const PgResult page = guardedRead(
        u"SELECT "_s + columns(t) + from + (lock ? u" FOR UPDATE OF t"_s : QString()), params);
    if (PQresultStatus(page.handle()) == PGRES_TUPLES_OK) {
        for (int r = 0; r < page.rows(); ++r) {
            rows.push_back(rowOf(t, page, r));
            rows.back().locked = lock ? transaction_ : 0;
        }
        return rows;
    }
    if (!isEncodingFailure(page))
        db_->throwFailure(page, u"reading the table \""_s + table(t).name + u'"');
    const PgResult ids = db_->exec(u"SELECT t."_s + kRowId + from, params);
    const QString one =
        u" FROM "_s + pgTable(table(t).name) + u" AS t WHERE t."_s + kRowId + u" = $1"_s;
    for (int r = 0; r < ids.rows(); ++r) {
        const qint64 rid = ids.integer(r, 0);
        const PgResult record = guardedRead(u"SELECT "_s + columns(t) + one, {rid});
        if (PQresultStatus(record.handle()) == PGRES_TUPLES_OK) {
            if (record.rows() > 0)
                rows.push_back(rowOf(t, record, 0));
            continue;
        }
        Row row{rid, {}};
        for (const FieldDef& field : table(t).fields) {
            const QString column = u"t."_s + pgQuote(field.name);
            const PgResult value = guardedRead(u"SELECT "_s + column + one, {rid});
            if (PQresultStatus(value.handle()) == PGRES_TUPLES_OK && value.rows() > 0) {
                row.values.push_back(value.value(0, 0));
                continue;
            }
            if (!isEncodingFailure(value))
                db_->throwFailure(value, u"reading the table \""_s + table(t).name + u'"');
            const PgResult bytes =
                db_->exec(u"SELECT pg_catalog.encode(pg_catalog.convert_to("_s + column +
                              u", pg_catalog.getdatabaseencoding()), 'hex')"_s + one,
                          {rid});
            row.values.push_back(QByteArray::fromHex(bytes.text(0, 0).toLatin1()));
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

bool PgCore::fetchPage(int t) {
    Cursor& cursor = cursors_[t];
    cursor.page.clear();
    cursor.pagePosition = 0;
    if (cursor.exhausted)
        return false;
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
        std::vector<Row> rows =
            readRows(t,
                     u" FROM "_s + pgTable(table(t).name) + u" AS t WHERE t."_s + kRowId +
                         u" = ANY($1::bigint[])"_s,
                     {array});
        QHash<qint64, size_t> byId;
        for (size_t r = 0; r < rows.size(); ++r)
            byId.insert(rows[r].rid, r);
        // A record deleted since the visit began is passed over.
        for (const qint64 id : ids) {
            const auto found = byId.constFind(id);
            if (found != byId.constEnd())
                cursor.page.push_back(std::move(rows[*found]));
        }
        return true;
    }
    cursor.page = readRows(t,
                           u" FROM "_s + pgTable(table(t).name) + u" AS t WHERE t."_s + kRowId +
                               u" > $1"_s + visitFilter(t) + u" ORDER BY t."_s + kRowId +
                               u" LIMIT "_s + QString::number(kPageSize),
                           {cursor.lastKey});
    if (!cursor.page.empty())
        cursor.lastKey = cursor.page.back().rid;
    if (cursor.page.size() < static_cast<size_t>(kPageSize))
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
