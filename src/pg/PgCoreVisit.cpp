#include "PgCore.h"

#include "PgErrors.h"

#include <QHash>

#include <limits>

using namespace Qt::StringLiterals;

// The cursor's visit: which records, in which order, read a page at a time.

// The row ids stream from the server (COPY) into the order's file.
void PgCore::readOrder(int t, VisitOrder& order) {
    QStringList columns;
    // As on a .vdb file: Null first, texts in the binary order of their characters.
    for (const int f : table(t).indexes[cursors_[t].activeIndex].fieldPositions) {
        const FieldDef& field = table(t).fields[f];
        columns << u"t."_s + pgQuote(field.name) +
                       (field.type == FieldType::Text ? u" COLLATE \"C\""_s : QString()) +
                       u" NULLS FIRST"_s;
    }
    columns << u"t."_s + kRowId;
    flushWrites();
    db_->sendPendingBegin();
    const QString sql = u"COPY (SELECT t."_s + kRowId + u" FROM "_s + pgTable(table(t).name) +
                        u" AS t WHERE true"_s + visitFilter(t, u"telnormer.vdb_marks"_s) +
                        u" ORDER BY "_s + columns.join(u", "_s) + u") TO STDOUT"_s;
    PgResult start(PQexec(db_->handle(), sql.toUtf8().constData()));
    if (PQresultStatus(start.handle()) != PGRES_COPY_OUT)
        db_->throwFailure(start, u"reading the visit order"_s);
    char* line = nullptr;
    int length = 0;
    while ((length = PQgetCopyData(db_->handle(), &line, 0)) > 0) {
        order.add(QByteArray::fromRawData(line, length).trimmed().toLongLong());
        PQfreemem(line);
    }
    PgResult end(PQgetResult(db_->handle()));
    while (PGresult* rest = PQgetResult(db_->handle()))
        PQclear(rest);
    if (length == -2 || PQresultStatus(end.handle()) != PGRES_COMMAND_OK)
        db_->throwFailure(end, u"reading the visit order"_s);
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
    // The transaction's first statement needs no savepoint: a failure there costs nothing that
    // a new beginning does not give back.
    if (db_->beginUnsent() && deferred_.empty() && !db_->restorePending()) {
        PgResult result = db_->execRaw(sql, params);
        if (PQresultStatus(result.handle()) != PGRES_TUPLES_OK &&
            PQstatus(db_->handle()) == CONNECTION_OK) {
            db_->execRaw(u"ROLLBACK"_s);
            db_->beginLater();
        }
        return result;
    }
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
        std::vector<qint64> ids;
        if (!nextOrderPage(cursor, ids))
            return false;
        std::vector<Row> rows =
            readRows(t,
                     u" FROM "_s + pgTable(table(t).name) + u" AS t WHERE t."_s + kRowId +
                         u" = ANY($1::bigint[])"_s,
                     {idArray(ids)});
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
    cursor.page =
        readRows(t,
                 u" FROM "_s + pgTable(table(t).name) + u" AS t WHERE t."_s + kRowId + u" > $1"_s +
                     visitFilter(t, u"telnormer.vdb_marks"_s) + u" ORDER BY t."_s + kRowId +
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
