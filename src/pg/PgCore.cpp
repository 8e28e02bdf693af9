#include "PgCore.h"

#include "FieldValues.h"
#include "PgCommitOutcome.h"
#include "PgErrors.h"
#include "VdbObjects.h"

#include <limits>

using namespace Qt::StringLiterals;

namespace {

qint32 clampCount(qint64 count) {
    return static_cast<qint32>(std::min<qint64>(count, std::numeric_limits<qint32>::max()));
}

} // namespace

PgCore::PgCore(std::unique_ptr<PgConnection> db, QString shownUri, PgCatalogue catalogue,
               Login login, ConditionJudges judges)
    : CursorCore(std::move(shownUri), std::move(catalogue.catalogue), std::move(login), pgError)
    , db_(std::move(db))
    , roles_(std::move(catalogue.roles))
    , cursors_(this->catalogue().tables.size())
    , checks_(cursors_.size())
    , writePlans_(cursors_.size())
    , judges_(judges) {
    for (size_t t = 0; t < cursors_.size(); ++t)
        cursors_[t].edits.resize(table(static_cast<int>(t)).fields.size());
    // A commit whose answer is lost is asked after on the same cluster only, by the transaction
    // ids a server gives since version 13; a function taken away would fail every commit.
    if (PQserverVersion(db_->handle()) >= 130000) {
        const PgResult id =
            db_->execRaw(u"SELECT system_identifier, pg_catalog.pg_current_xact_id_if_assigned() "
                         "FROM pg_catalog.pg_control_system()"_s);
        if (PQresultStatus(id.handle()) == PGRES_TUPLES_OK && id.rows() == 1)
            serverId_ = id.text(0, 0).toLatin1();
    }
}

// An open transaction ends with the connection: the server rolls it back.
PgCore::~PgCore() = default;

qint32 PgCore::recordCount(int t) {
    return clampCount(db_->exec(u"SELECT count(*) FROM "_s + pgTable(table(t).name)).integer(0, 0));
}

qint32 PgCore::markedCount(int t) {
    return clampCount(
        db_->exec(u"SELECT count(*) FROM telnormer.vdb_marks WHERE table_id = $1"_s, {table(t).id})
            .integer(0, 0));
}

QString PgCore::columns(int t) const {
    QString list = u"t."_s + kRowId;
    for (const FieldDef& field : table(t).fields)
        list += u", t."_s + pgQuote(field.name);
    return list;
}

// Reads the current record again; false when it no longer exists.
bool PgCore::loadCurrent(int t) {
    Cursor& cursor = cursors_[t];
    std::vector<Row> rows = readRows(
        t, u" FROM "_s + pgTable(table(t).name) + u" AS t WHERE t."_s + kRowId + u" = $1"_s,
        {cursor.current.rid});
    if (rows.empty()) {
        cursor.loaded = false;
        return false;
    }
    cursor.current.values = std::move(rows.front().values);
    cursor.current.locked = 0;
    cursor.loaded = true;
    return true;
}

PgCore::Cursor& PgCore::positioned(int t) {
    requireCurrent(t);
    return cursors_[t];
}

QVariant PgCore::storedValue(int t, int f, const QVariant& value) const {
    QVariant stored = storedFieldValue(table(t).fields[f], value);
    // A server's text cannot hold NUL; cutting the value short there would lose the rest.
    if (stored.metaType().id() == QMetaType::QString && stored.toString().contains(QChar(0)))
        throw pgError(VdbCode::TypeMismatch, u"The field \""_s + table(t).fields[f].name +
                                                 u"\" cannot hold a NUL character."_s);
    return stored;
}

void PgCore::throwConditionViolated(int t, int f, const QString& serverText) {
    if (f < 0 || f >= table(t).fields.size())
        throw pgError(VdbCode::ConditionViolated, serverText);
    const FieldDef& field = table(t).fields[f];
    throw pgError(VdbCode::ConditionViolated, u"The value of the field \""_s + field.name +
                                                  u"\" does not meet its condition ("_s +
                                                  field.condition + u")."_s);
}

namespace {

// The field a constraint of ours guards, from its name; -1 for any other.
int constraintField(const QString& name) {
    bool ok = false;
    const int f = name.startsWith(u"vdb_ck_"_s) ? name.mid(7).toInt(&ok) : -1;
    return ok ? f : -1;
}

} // namespace

void PgCore::throwWriteFailure(int t, const PgResult& result) {
    if (sqlState(result) == u"23514"_s) {
        const char* constraint = PQresultErrorField(result.handle(), PG_DIAG_CONSTRAINT_NAME);
        throwConditionViolated(
            t, constraintField(constraint ? QString::fromUtf8(constraint) : QString()),
            QString::fromUtf8(PQresultErrorMessage(result.handle())).trimmed());
    }
    db_->throwFailure(result, u"writing to the table \""_s + table(t).name + u'"');
}

void PgCore::throwLostCommit(const ErrorRecord& lost, std::vector<PgResult> answered,
                             int backendPid) {
    CommitWitness witness{{}, serverId_, backendPid};
    bool seen = false;
    bool skipped = false;
    bool cut = false;
    bool committed = false;
    for (const PgResult& result : answered) {
        const ExecStatusType status = PQresultStatus(result.handle());
        // Its answer came: what went after it (the next batch's read) was lost.
        if (status == PGRES_COMMAND_OK && qstrcmp(PQcmdStatus(result.handle()), "COMMIT") == 0) {
            committed = true;
            break;
        }
        // An error the server sent ends the pipeline before its COMMIT. The one libpq makes of a
        // connection that ended has no SQLSTATE: all the server sent before came first.
        cut = status == PGRES_FATAL_ERROR && sqlState(result).isEmpty();
        skipped = skipped || (status == PGRES_FATAL_ERROR && !cut);
        if (status == PGRES_TUPLES_OK && result.rows() == 1 && PQnfields(result.handle()) == 1 &&
            qstrcmp(PQfname(result.handle(), 0), "vdb_xid") == 0) {
            seen = true;
            witness.xid = result.isNull(0, 0) ? QByteArray() : result.text(0, 0).toLatin1();
        }
    }
    // The server runs COMMIT only after a pipeline without failure and after it sent the id; a
    // local socket, read to its end, loses nothing the server sent.
    const char* host = PQhost(db_->handle());
    const bool local = cut && host && (host[0] == '/' || host[0] == '@');
    const CommitOutcome outcome = committed             ? CommitOutcome::Committed
                                  : skipped             ? CommitOutcome::NotCommitted
                                  : serverId_.isEmpty() ? CommitOutcome::Unknown
                                  : seen                ? askCommitOutcome(db_->handle(), witness)
                                  : local               ? CommitOutcome::NotCommitted
                                                        : CommitOutcome::Unknown;
    if (outcome == CommitOutcome::Committed)
        throw pgError(PgCode::LostAfterCommit,
                      lost.description() +
                          (committed ? u" The server had stored the batch: it answered the "
                                       "commit before the connection ended."_s
                                     : u" The server had stored the batch, as a new "
                                       "connection found."_s));
    if (outcome == CommitOutcome::Unknown)
        throw pgError(PgCode::CommitUnknown,
                      lost.description() +
                          u" Whether the server stored the batch before cannot be found out."_s);
    throw lost;
}

// Read from the server, not rebuilt from the conditions: what is checked is what Update meets.
const PgCore::CheckPlan& PgCore::checkPlan(int t) {
    CheckPlan& plan = checks_[t];
    if (plan.loaded)
        return plan;
    const QString relation = pgTable(table(t).name);
    const PgResult types =
        db_->exec(u"SELECT a.attname, pg_catalog.format_type(a.atttypid, a.atttypmod) "
                  "FROM pg_catalog.pg_attribute AS a WHERE a.attrelid = $1::pg_catalog.regclass "
                  "AND a.attnum > 0 AND NOT a.attisdropped ORDER BY a.attnum"_s,
                  {relation});
    const PgResult checks =
        db_->exec(u"SELECT c.conname, pg_catalog.pg_get_expr(c.conbin, c.conrelid) "
                  "FROM pg_catalog.pg_constraint AS c WHERE c.conrelid = $1::pg_catalog.regclass "
                  "AND c.contype = 'c' ORDER BY c.conname"_s,
                  {relation});
    QStringList columns;
    QStringList tests;
    plan.columns.push_back(-1); // $1, the row id
    for (int r = 0; r < types.rows(); ++r) {
        const QString name = pgQuote(types.text(r, 0));
        const int f = table(t).fieldPosition(types.text(r, 0));
        QString value = u"$1::bigint"_s;
        if (f >= 0) {
            plan.columns.push_back(f);
            value = u"$"_s + QString::number(plan.columns.size()) + u"::"_s + types.text(r, 1);
        } else if (types.text(r, 0) != kRowId) {
            // A column another program added keeps what the record holds.
            value = u"(SELECT o."_s + name + u" FROM "_s + relation + u" AS o WHERE o."_s + kRowId +
                    u" = $1::bigint)"_s;
        }
        columns << value + u" AS "_s + name;
    }
    for (int r = 0; r < checks.rows(); ++r) {
        plan.fields.push_back(constraintField(checks.text(r, 0)));
        tests << u"(("_s + checks.text(r, 1) + u") IS FALSE)"_s;
    }
    if (!tests.isEmpty())
        plan.sql = u"SELECT "_s + tests.join(u", "_s) + u" FROM (SELECT "_s +
                   columns.join(u", "_s) + u") AS t"_s;
    plan.loaded = true;
    return plan;
}

// Inside a transaction the statement runs under the savepoint, after the held-back writes and in
// their round trip, so that a failure costs this statement only; it is undone with the next one.
PgResult PgCore::guardedWrite(int t, const QString& savepoint, const QString& sql,
                              const QVariantList& params, ExecStatusType expected) {
    const bool guarded = db_->inTransaction();
    // A held-back write that failed lost the transaction: what the batch writes later is not
    // sent, where the server would skip it without a word and its commit would blame a savepoint.
    if (guarded && PQtransactionStatus(db_->handle()) == PQTRANS_INERROR && !db_->restorePending())
        throw pgError(VdbCode::StorageFailure,
                      u"The batch's transaction failed on the server; nothing more of it is "
                      "stored."_s);
    std::vector<PgResult> results;
    if (guarded)
        results = withWrites({{u"SAVEPOINT "_s + savepoint, {}},
                              {sql, params},
                              {u"RELEASE SAVEPOINT "_s + savepoint, {}}});
    else
        results.push_back(db_->execRaw(sql, params));
    const size_t at = guarded ? 1 : 0;
    if (results.size() <= at || PQresultStatus(results[at].handle()) != expected) {
        if (guarded && PQstatus(db_->handle()) == CONNECTION_OK)
            db_->restoreWithNext(u"ROLLBACK TO SAVEPOINT "_s + savepoint);
        if (results.size() <= at)
            db_->throwFailure(results.empty() ? PgResult() : std::move(results.back()),
                              u"writing to the table \""_s + table(t).name + u'"');
        throwWriteFailure(t, results[at]);
    }
    return std::move(results[at]);
}

// A SELECT over the edited values: nothing written, no row locked. Inside a transaction it runs
// under a savepoint, so that a failing expression does not end the transaction.
void PgCore::checkUpdate(int t) {
    Cursor& cursor = positioned(t);
    if (!cursor.dirty)
        return;
    const CheckPlan& plan = checkPlan(t);
    if (plan.sql.isEmpty())
        return;
    QVariantList params;
    for (const int f : plan.columns)
        params << (f < 0             ? QVariant(cursor.current.rid)
                   : cursor.edits[f] ? *cursor.edits[f]
                                     : cursor.current.values[f]);
    const PgResult result = guardedWrite(t, u"vdb_check"_s, plan.sql, params, PGRES_TUPLES_OK);
    for (size_t c = 0; c < plan.fields.size(); ++c) {
        if (result.text(0, static_cast<int>(c)) == u"t"_s)
            throwConditionViolated(t, plan.fields[c],
                                   u"The record does not meet a condition of the table \""_s +
                                       table(t).name + u"\"."_s);
    }
}

// The record is written only while it still holds what was read: a change another session made
// since then is never overwritten. The row lock the write takes holds until the batch ends; a
// lock held elsewhere beyond the lock timeout fails as "locked". Inside a transaction the write
// runs under a savepoint, so that a broken condition costs this record only, as on a .vdb file;
// savepoint, write and release travel in one round trip.
void PgCore::update(int t) {
    Cursor& cursor = positioned(t);
    if (!cursor.dirty)
        return;
    // A record this batch holds locked, with values nothing but the conditions judged here could
    // refuse, is written with the commit.
    wrote_ = true;
    if (writeWay(t, cursor) == WriteWay::HoldBack) {
        Deferred write{t, cursor.current.rid, {}, {}, {}};
        for (size_t f = 0; f < cursor.edits.size(); ++f) {
            if (!cursor.edits[f])
                continue;
            write.fields.push_back(static_cast<int>(f));
            write.values << *cursor.edits[f];
            write.olds << cursor.current.values[f];
            cursor.current.values[f] = *cursor.edits[f];
        }
        deferred_.push_back(std::move(write));
        dropEdits(cursor);
        // A transaction of many writes sends them on the way.
        if (deferred_.size() >= 1000)
            flushWrites();
        return;
    }
    QStringList assignments;
    QStringList unchanged;
    QVariantList params;
    for (size_t f = 0; f < cursor.edits.size(); ++f) {
        if (!cursor.edits[f])
            continue;
        const QString column = pgQuote(table(t).fields[static_cast<qsizetype>(f)].name);
        params << *cursor.edits[f];
        assignments << column + u" = $"_s + QString::number(params.size());
    }
    params << cursor.current.rid;
    const QString ridParam = u"$"_s + QString::number(params.size());
    for (size_t f = 0; f < cursor.edits.size(); ++f) {
        if (!cursor.edits[f])
            continue;
        const QString column = pgQuote(table(t).fields[static_cast<qsizetype>(f)].name);
        params << cursor.current.values[f];
        unchanged << column + u" IS NOT DISTINCT FROM $"_s + QString::number(params.size());
    }
    const QString sql = u"UPDATE "_s + pgTable(table(t).name) + u" SET "_s +
                        assignments.join(u", "_s) + u" WHERE "_s + kRowId + u" = "_s + ridParam +
                        u" AND "_s + unchanged.join(u" AND "_s);
    // The held-back writes go first, in the same round trip: this one may be judged by a
    // value one of them wrote. A failed write is undone with the next statement.
    if (guardedWrite(t, u"vdb_update"_s, sql, params, PGRES_COMMAND_OK).affected() == 0) {
        const bool exists = loadCurrent(t);
        dropEdits(cursor);
        if (!exists)
            throw pgError(VdbCode::NoCurrentRecord, u"The current record of the table \""_s +
                                                        table(t).name + u"\" no longer exists."_s);
        throw pgError(VdbCode::Locked, u"Another user changed the record "_s +
                                           QString::number(cursor.current.rid) +
                                           u" of the table \""_s + table(t).name +
                                           u"\" since it was read; it was not stored."_s);
    }
    for (size_t f = 0; f < cursor.edits.size(); ++f) {
        if (cursor.edits[f])
            cursor.current.values[f] = *cursor.edits[f];
    }
    dropEdits(cursor);
}
