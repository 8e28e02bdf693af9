#include "PgCommitOutcome.h"

#include <QByteArrayList>
#include <QThread>

#include <memory>
#include <vector>

namespace {

using Connection = std::unique_ptr<PGconn, decltype(&PQfinish)>;
using Result = std::unique_ptr<PGresult, decltype(&PQclear)>;

Connection reconnect(PGconn* lost) {
    std::unique_ptr<PQconninfoOption, decltype(&PQconninfoFree)> options(PQconninfo(lost),
                                                                         &PQconninfoFree);
    if (!options)
        return {nullptr, &PQfinish};
    std::vector<const char*> keys;
    std::vector<const char*> values;
    for (const PQconninfoOption* o = options.get(); o->keyword; ++o) {
        const QByteArray keyword(o->keyword);
        if (o->val && keyword != "connect_timeout" && keyword != "tcp_user_timeout") {
            keys.push_back(o->keyword);
            values.push_back(o->val);
        }
    }
    // A server that does not answer within seconds leaves the outcome unknown, never the run
    // waiting.
    keys.insert(keys.end(), {"connect_timeout", "tcp_user_timeout", nullptr});
    values.insert(values.end(), {"3", "3000", nullptr});
    Connection conn(PQconnectdbParams(keys.data(), values.data(), 0), &PQfinish);
    if (conn && PQstatus(conn.get()) != CONNECTION_OK)
        conn.reset();
    return conn;
}

Result query(PGconn* conn, const char* sql, const QByteArrayList& params) {
    std::vector<const char*> values;
    for (const QByteArray& param : params)
        values.push_back(param.constData());
    return {PQexecParams(conn, sql, static_cast<int>(values.size()), nullptr, values.data(),
                         nullptr, nullptr, 0),
            &PQclear};
}

} // namespace

CommitOutcome askCommitOutcome(PGconn* lost, const CommitWitness& witness) {
    // Nothing written: nothing of the batch can have been stored.
    if (witness.xid.isEmpty())
        return CommitOutcome::NotCommitted;
    bool number = false;
    witness.xid.toULongLong(&number);
    if (!number || witness.server.isEmpty())
        return CommitOutcome::Unknown;
    const Connection conn = reconnect(lost);
    if (!conn)
        return CommitOutcome::Unknown;
    // The same address may lead to another cluster (a host list, a moved name), where the id
    // means another transaction or none.
    const char* status =
        "SELECT pg_catalog.pg_xact_status($1::pg_catalog.xid8), s.system_identifier"
        " FROM pg_catalog.pg_control_system() AS s";
    for (int attempt = 0; attempt < 30; ++attempt) {
        const Result answer = query(conn.get(), status, {witness.xid});
        if (PQresultStatus(answer.get()) != PGRES_TUPLES_OK || PQntuples(answer.get()) != 1 ||
            QByteArray(PQgetvalue(answer.get(), 0, 1)) != witness.server)
            return CommitOutcome::Unknown;
        const QByteArray state(PQgetvalue(answer.get(), 0, 0));
        if (state == "committed")
            return CommitOutcome::Committed;
        if (state == "aborted")
            return CommitOutcome::NotCommitted;
        if (state != "in progress")
            return CommitOutcome::Unknown;
        // Still open: the old session has not yet read the COMMIT, or is in its midst, or waits
        // for a client that is gone. Ended (only that session, only while it holds this
        // transaction), the transaction is either committed or rolled back.
        if (attempt == 0)
            query(conn.get(),
                  "SELECT pg_catalog.pg_terminate_backend(a.pid) FROM pg_catalog.pg_stat_activity"
                  " AS a WHERE a.pid = $1::integer AND a.backend_xid = "
                  "pg_catalog.xid($2::pg_catalog.xid8)",
                  {QByteArray::number(witness.backendPid), witness.xid});
        QThread::msleep(100);
    }
    return CommitOutcome::Unknown;
}
