#include "PgCore.h"

#include "PgErrors.h"

using namespace Qt::StringLiterals;

// A batch's end: its held-back writes with its commit, and, when the next batch follows at once,
// that batch's transaction begun and its records read and locked in the same round trip.

void PgCore::begin() {
    db_->requireConnection();
    // The last commit began this one.
    wrote_ = false;
    if (db_->adoptAhead()) {
        transaction_ = ++serial_;
        ahead_.transaction = transaction_;
        return;
    }
    ahead_ = {};
    if (db_->inTransaction())
        throw pgError(VdbCode::TransactionState, u"A transaction is already open."_s);
    // BEGIN travels with the batch's first statement.
    db_->beginLater();
    transaction_ = ++serial_;
}

void PgCore::commit() {
    endTransaction(false);
}

void PgCore::commitBeforeBegin() {
    endTransaction(true);
}

void PgCore::endTransaction(bool thenBegin) {
    db_->requireConnection();
    if (!db_->inTransaction())
        throw pgError(VdbCode::TransactionState, u"There is no open transaction to commit."_s);
    transaction_ = 0;
    ahead_ = {};
    std::vector<Deferred> writes = std::exchange(deferred_, {});
    // Nothing was sent: there is nothing to commit.
    if (writes.empty() && db_->takeUnsentBegin())
        return;
    deferred_ = std::move(writes);
    try {
        sendCommit(thenBegin);
    } catch (const ErrorRecord&) {
        // Nothing of the batch was stored: the held-back values the cursors show are not there.
        deferred_.clear();
        forgetReads();
        throw;
    }
}

std::vector<qint64> PgCore::nextAhead(int& t) const {
    t = lastAheadTable_;
    std::vector<qint64> ids;
    if (t < 0 || lastAheadCount_ <= 0)
        return ids;
    const Cursor& cursor = cursors_[static_cast<size_t>(t)];
    const auto wanted = static_cast<size_t>(lastAheadCount_);
    const size_t left = cursor.page.size() - std::min(cursor.pagePosition, cursor.page.size());
    if (cursor.eof || cursor.pending || left == 0 || (left < wanted && !cursor.exhausted))
        return ids;
    for (size_t k = cursor.pagePosition; k < cursor.page.size() && ids.size() < wanted; ++k)
        ids.push_back(cursor.page[k].rid);
    return ids;
}

void PgCore::sendCommit(bool thenBegin) {
    // The server answers COMMIT of a failed transaction with a rollback, not an error. A
    // failure undone with the next statement has not failed the transaction.
    if (PQtransactionStatus(db_->handle()) == PQTRANS_INERROR && !db_->restorePending()) {
        db_->execRaw(u"ROLLBACK"_s);
        throw pgError(VdbCode::StorageFailure,
                      u"The transaction failed on the server and was rolled back."_s);
    }
    // The held-back writes and the commit in one round trip: after a failed write the server
    // skips the rest, the commit too, and the batch is rolled back whole. A batch that wrote
    // first has the server send its transaction's id, before the commit runs: should the answer
    // be lost, the id asks what became of it.
    QList<std::pair<QString, QVariantList>> statements;
    if (wrote_ && !serverId_.isEmpty())
        statements = {{u"SELECT pg_catalog.pg_current_xact_id_if_assigned() AS vdb_xid"_s, {}},
                      {QString(), {}}};
    const auto commitAt = static_cast<size_t>(statements.size() / 2);
    statements.append({u"COMMIT"_s, {}});
    // Then the next transaction, with the records the visit reaches next read and locked: a
    // record another session holds locked leaves them to the next batch's own read.
    int next = -1;
    const std::vector<qint64> ids = thenBegin ? nextAhead(next) : std::vector<qint64>{};
    if (!ids.empty())
        statements << PgConnection::beginning()
                   << std::pair{u"SELECT "_s + columns(next) + u" FROM "_s +
                                    pgTable(table(next).name) + u" AS t WHERE t."_s + kRowId +
                                    u" = ANY($1::bigint[]) FOR UPDATE OF t NOWAIT"_s,
                                QVariantList{idArray(ids)}};
    const int pid = PQbackendPID(db_->handle());
    std::vector<PgResult> results;
    try {
        results = withWrites(statements);
    } catch (const ErrorRecord& error) {
        if (error.number() == kConnectionLostNumber && wrote_)
            throwLostCommit(error, db_->takeAnswered(), pid);
        if (PQstatus(db_->handle()) == CONNECTION_OK && db_->inTransaction())
            db_->execRaw(u"ROLLBACK"_s);
        throw;
    }
    if (PQresultStatus(results[commitAt].handle()) != PGRES_COMMAND_OK) {
        try {
            db_->throwFailure(results[commitAt], {});
        } catch (const ErrorRecord& error) {
            // A server shut down while the commit waits (for a standby) ends it with an error,
            // when the batch may be stored already.
            if (error.number() != kConnectionLostNumber || !wrote_)
                throw;
            results.resize(commitAt);
            throwLostCommit(error, std::move(results), pid);
        }
    }
    if (ids.empty())
        return;
    db_->openedAhead();
    const PgResult& read = results.back();
    if (PQresultStatus(read.handle()) != PGRES_TUPLES_OK)
        return; // the next statement rolls the transaction back
    ahead_.table = next;
    ahead_.ids = ids;
    for (int r = 0; r < read.rows(); ++r)
        ahead_.rows.push_back(rowOf(next, read, r));
}

void PgCore::rollback() {
    db_->requireConnection();
    if (!db_->inTransaction())
        throw pgError(VdbCode::TransactionState, u"There is no open transaction to roll back."_s);
    transaction_ = 0;
    deferred_.clear();
    db_->dropRestore();
    if (!db_->takeUnsentBegin())
        db_->exec(u"ROLLBACK"_s);
    forgetReads();
}

// Records read inside a transaction that was undone may hold undone values.
void PgCore::forgetReads() {
    for (Cursor& cursor : cursors_) {
        if (!cursor.eof && !cursor.pending)
            cursor.loaded = false;
    }
}
