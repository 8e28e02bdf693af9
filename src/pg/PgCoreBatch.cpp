#include "PgCore.h"

#include "FieldValues.h"
#include "PgCondition.h"
#include "PgErrors.h"

#include <QHash>
#include <QSet>

#include <algorithm>

using namespace Qt::StringLiterals;

// A batch in few round trips: its records read with one statement that also locks them, and
// their writes held back and sent with the commit. A write is held back only when nothing but
// the field conditions could refuse it and those conditions, judged here, take it; any other
// write goes at once, as the run expects to hear of a refusal at the record.

QString PgCore::idArray(const std::vector<qint64>& ids) {
    QString array = u"{"_s;
    for (size_t i = 0; i < ids.size(); ++i)
        array += (i ? u","_s : QString()) + QString::number(ids[i]);
    return array + u'}';
}

// The current record's id and those the visit reaches after it, count at most; the page grows
// by the pages it takes.
std::vector<qint64> PgCore::upcomingRows(int t, qint32 count) {
    Cursor& cursor = cursors_[t];
    const auto wanted = static_cast<size_t>(count);
    while (cursor.page.size() - cursor.pagePosition + 1 < wanted && !cursor.exhausted) {
        std::vector<Row> rest(std::make_move_iterator(cursor.page.begin() +
                                                      static_cast<qsizetype>(cursor.pagePosition)),
                              std::make_move_iterator(cursor.page.end()));
        const bool more = fetchPage(t);
        rest.insert(rest.end(), std::make_move_iterator(cursor.page.begin()),
                    std::make_move_iterator(cursor.page.end()));
        cursor.page = std::move(rest);
        cursor.pagePosition = 0;
        if (!more)
            break;
    }
    std::vector<qint64> ids{cursor.current.rid};
    for (size_t k = cursor.pagePosition; k < cursor.page.size() && ids.size() < wanted; ++k)
        ids.push_back(cursor.page[k].rid);
    return ids;
}

QList<QVariantList> PgCore::readAheadAt(int t, const std::vector<int>& fields, qint32 count) {
    Cursor& cursor = cursors_[t];
    QList<QVariantList> values;
    const std::vector<qint64> ids = upcomingRows(t, count);
    lastAheadTable_ = t;
    lastAheadCount_ = count;
    // Locked inside the batch's transaction: nobody changes them before its commit. The last
    // commit may have read them already, in this transaction.
    std::vector<Row> rows;
    if (ahead_.transaction != 0 && ahead_.transaction == transaction_ && ahead_.table == t &&
        ahead_.ids == ids) {
        rows = std::exchange(ahead_, {}).rows;
        for (Row& row : rows)
            row.locked = transaction_;
    } else {
        rows = readRows(t,
                        u" FROM "_s + pgTable(table(t).name) + u" AS t WHERE t."_s + kRowId +
                            u" = ANY($1::bigint[])"_s,
                        {idArray(ids)}, db_->inTransaction());
    }
    QHash<qint64, size_t> byId;
    for (size_t r = 0; r < rows.size(); ++r)
        byId.insert(rows[r].rid, r);
    const auto current = byId.constFind(cursor.current.rid);
    // The current record is gone: it is read where it stands, and found missing there.
    if (current == byId.constEnd())
        return values;
    if (!cursor.dirty) {
        cursor.current = std::move(rows[*current]);
        cursor.loaded = true;
    }
    auto valuesOf = [&](const Row& row, bool edited) {
        QVariantList list;
        for (const int f : fields) {
            const auto at = static_cast<size_t>(f);
            const QVariant& stored =
                edited && cursor.edits[at] ? *cursor.edits[at] : row.values[at];
            list << fieldValueFromStored(table(t).fields[f].type, stored);
        }
        return list;
    };
    values << valuesOf(cursor.current, true);
    // The page takes the rows as read now; a record deleted since the page was read is passed
    // over by the visit as well.
    std::vector<Row> page(
        std::make_move_iterator(cursor.page.begin()),
        std::make_move_iterator(cursor.page.begin() + static_cast<qsizetype>(cursor.pagePosition)));
    for (size_t k = cursor.pagePosition; k < cursor.page.size(); ++k) {
        const qint64 rid = cursor.page[k].rid;
        if (std::find(ids.cbegin() + 1, ids.cend(), rid) == ids.cend()) {
            page.push_back(std::move(cursor.page[k]));
            continue;
        }
        const auto found = byId.constFind(rid);
        if (found == byId.constEnd())
            continue;
        values << valuesOf(rows[*found], false);
        page.push_back(std::move(rows[*found]));
    }
    cursor.page = std::move(page);
    return values;
}

PgCore::WritePlan& PgCore::writePlan(int t) {
    WritePlan& plan = writePlans_[t];
    if (plan.loaded)
        return plan;
    const TableDef& def = table(t);
    plan.risky.assign(static_cast<size_t>(def.fields.size()), true);
    const PgResult columns = db_->exec(
        u"SELECT a.attname, y.typtype = 'd' OR a.atttypmod >= 0 OR EXISTS (SELECT 1 FROM "
        "pg_catalog.pg_index i WHERE i.indrelid = a.attrelid AND i.indisunique AND (a.attnum = "
        "ANY (i.indkey) OR 0 = ANY (i.indkey) OR i.indpred IS NOT NULL)) OR EXISTS (SELECT 1 "
        "FROM pg_catalog.pg_constraint k WHERE k.conrelid = a.attrelid AND k.contype IN ('f', "
        "'x') AND a.attnum = ANY (k.conkey)), (SELECT NOT (c.relrowsecurity OR c.relhasrules OR "
        "c.relhastriggers) FROM pg_catalog.pg_class c WHERE c.oid = a.attrelid) AND NOT EXISTS "
        "(SELECT 1 FROM pg_catalog.pg_constraint k WHERE k.conrelid = a.attrelid AND k.contype "
        "NOT IN ('p', 'u', 'f', 'x', 'n') AND NOT (k.contype = 'c' AND k.convalidated AND "
        "k.conname LIKE 'vdb\\_ck\\_%')) AND NOT EXISTS (SELECT 1 FROM pg_catalog.pg_attribute g "
        "WHERE g.attrelid = a.attrelid AND g.attgenerated <> ''), "
        "pg_catalog.getdatabaseencoding() FROM pg_catalog.pg_attribute a JOIN "
        "pg_catalog.pg_type y ON y.oid = a.atttypid WHERE a.attrelid = $1::pg_catalog.regclass "
        "AND a.attnum > 0 AND NOT a.attisdropped"_s,
        {pgTable(def.name)});
    for (int r = 0; r < columns.rows(); ++r) {
        const int f = def.fieldPosition(columns.text(r, 0));
        if (f >= 0)
            plan.risky[static_cast<size_t>(f)] = columns.text(r, 1) != u"f"_s;
        plan.plain = columns.text(r, 2) == u"t"_s;
        encoding_ = columns.text(r, 3);
    }
    // The conditions as the .vdb engine judges them, from texts the server's parser takes.
    QStringList names;
    for (const FieldDef& field : def.fields)
        names << field.name;
    for (const FieldDef& field : def.fields) {
        if (field.condition.isEmpty())
            continue;
        try {
            pgConditionSql(field.condition, names);
            if (!judges_)
                plan.judged = false;
        } catch (const ErrorRecord&) {
            plan.judged = false;
        }
    }
    if (plan.judged && judges_) {
        try {
            plan.judge = judges_(def);
        } catch (const ErrorRecord&) {
            plan.judged = false;
        }
    }
    plan.loaded = true;
    return plan;
}

PgCore::WriteWay PgCore::writeWay(int t, const Cursor& cursor) {
    if (transaction_ == 0 || cursor.current.locked != transaction_ || !db_->inTransaction())
        return WriteWay::Send;
    WritePlan& plan = writePlan(t);
    if (!plan.plain || !plan.judged)
        return WriteWay::Send;
    // Any character fits these; another encoding may lack one beyond ASCII.
    const bool anyText = encoding_ == u"UTF8"_s || encoding_ == u"SQL_ASCII"_s;
    for (size_t f = 0; f < cursor.edits.size(); ++f) {
        const std::optional<QVariant>& edit = cursor.edits[f];
        if (!edit)
            continue;
        if (table(t).fields[static_cast<qsizetype>(f)].type != FieldType::Text || plan.risky[f] ||
            edit->metaType().id() != QMetaType::QString || edit->isNull())
            return WriteWay::Send;
        const QString text = edit->toString();
        if (!anyText &&
            std::any_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() >= 0x80; }))
            return WriteWay::Send;
    }
    if (!plan.judge)
        return WriteWay::HoldBack;
    std::vector<QVariant> values(cursor.edits.size());
    for (size_t f = 0; f < cursor.edits.size(); ++f)
        values[f] = cursor.edits[f] ? *cursor.edits[f] : cursor.current.values[f];
    // A refusal goes to the server all the same: its CHECK, which another program may have
    // loosened, decides; a refusal judged here alone would keep a value it takes.
    try {
        return plan.judge->allows(values) ? WriteWay::HoldBack : WriteWay::Send;
    } catch (const ErrorRecord&) {
        return WriteWay::Send;
    }
}

// Held-back writes to one table, each record once, as one statement: the values come as rows,
// and a field a record does not write keeps its value. The statement fails when it does not
// write every record, so that a commit after it cannot store the rest: with a subquery of two
// rows, which no CHECK constraint can hold (one can divide by zero).
std::pair<QString, QVariantList> PgCore::groupedWrite(const std::vector<Deferred>& writes,
                                                      size_t from, size_t to) const {
    const int t = writes[from].table;
    std::vector<int> columns;
    for (size_t k = from; k < to; ++k) {
        for (const int f : writes[k].fields) {
            if (std::find(columns.cbegin(), columns.cend(), f) == columns.cend())
                columns.push_back(f);
        }
    }
    QVariantList params;
    const auto param = [&](const QVariant& value, const QString& type) -> QString {
        params << value;
        return u"$"_s + QString::number(params.size()) + u"::"_s + type;
    };
    QStringList rows;
    for (size_t k = from; k < to; ++k) {
        QStringList cells{param(writes[k].rid, u"bigint"_s)};
        for (const int f : columns) {
            const auto at = std::find(writes[k].fields.cbegin(), writes[k].fields.cend(), f);
            const bool set = at != writes[k].fields.cend();
            const auto i = static_cast<qsizetype>(at - writes[k].fields.cbegin());
            cells << param(set, u"boolean"_s)
                  << param(set ? writes[k].values[i] : QVariant(), u"text"_s)
                  << param(set ? writes[k].olds[i] : QVariant(), u"text"_s);
        }
        rows << u'(' + cells.join(u", "_s) + u')';
    }
    QStringList names{u"rid"_s};
    QStringList sets;
    QStringList unchanged;
    for (size_t c = 0; c < columns.size(); ++c) {
        const QString n = QString::number(c);
        const QString name = pgQuote(table(t).fields[columns[c]].name);
        names << u's' + n << u'n' + n << u'o' + n;
        sets << name + u" = CASE WHEN v.s"_s + n + u" THEN v.n"_s + n + u" ELSE t."_s + name +
                    u" END"_s;
        unchanged << u"(NOT v.s"_s + n + u" OR t."_s + name + u" IS NOT DISTINCT FROM v.o"_s + n +
                         u')';
    }
    return {u"WITH v ("_s + names.join(u", "_s) + u") AS (VALUES "_s + rows.join(u", "_s) +
                u"), w AS (UPDATE "_s + pgTable(table(t).name) + u" AS t SET "_s +
                sets.join(u", "_s) + u" FROM v WHERE t."_s + kRowId + u" = v.rid AND "_s +
                unchanged.join(u" AND "_s) + u" RETURNING 1) SELECT CASE WHEN count(*) = "_s +
                QString::number(to - from) +
                u" THEN 1 ELSE (SELECT 1 FROM (VALUES (1), (2)) AS x (y)) END FROM w"_s,
            params};
}

std::vector<PgResult>
PgCore::withWrites(const QList<std::pair<QString, QVariantList>>& statements) {
    const std::vector<Deferred> writes = std::exchange(deferred_, {});
    QList<std::pair<QString, QVariantList>> all;
    std::vector<int> tables;
    for (size_t from = 0, to = 0; from < writes.size(); from = to) {
        QSet<qint64> records;
        for (to = from; to < writes.size() && to - from < 100 &&
                        writes[to].table == writes[from].table && !records.contains(writes[to].rid);
             ++to)
            records.insert(writes[to].rid);
        all.append(groupedWrite(writes, from, to));
        tables.push_back(writes[from].table);
    }
    all += statements;
    std::vector<PgResult> results = db_->pipeline(all);
    // The transaction stays failed: its commit rolls the whole batch back.
    for (size_t i = 0; i < tables.size(); ++i) {
        if (PQresultStatus(results[i].handle()) != PGRES_TUPLES_OK)
            throwDeferredFailure(tables[i], results[i]);
    }
    results.erase(results.begin(), results.begin() + static_cast<qsizetype>(tables.size()));
    return results;
}

void PgCore::flushWrites() {
    if (!deferred_.empty())
        withWrites({});
}

void PgCore::throwDeferredFailure(int t, const PgResult& result) {
    // What refused one held-back write may refuse more: the table's writes now go one by one.
    writePlans_[t].plain = false;
    const QString batch =
        u"The batch's writes to the table \""_s + table(t).name + u"\" were not stored."_s;
    if (sqlState(result) == u"21000"_s)
        throw pgError(VdbCode::Locked,
                      u"A record changed or went away before the commit. "_s + batch);
    try {
        throwWriteFailure(t, result);
    } catch (const ErrorRecord& error) {
        if (error.number() == kConnectionLostNumber)
            throw;
        // A refusal at the commit is the batch's, not the record's the run is at.
        const bool refusal = error.number() == serverErrorNumber(VdbCode::ConditionViolated);
        throw ErrorRecord(refusal ? serverErrorNumber(VdbCode::StorageFailure) : error.number(),
                          error.description() + u' ' + batch, error.source());
    }
}
