#pragma once

#include <QByteArray>

#include <libpq-fe.h>

// What became of a transaction whose COMMIT was sent but whose answer was lost with the
// connection.
enum class CommitOutcome { Committed, NotCommitted, Unknown };

// The transaction's id and the server it ran on, as the transaction itself told them.
struct CommitWitness {
    QByteArray xid;    // 64-bit transaction id; empty: the transaction wrote nothing
    QByteArray server; // the cluster's system identifier
    int backendPid = 0;
};

// Asks the server once, on a fresh connection made with the lost one's parameters and a short
// timeout. Only an answer from the same cluster counts; anything else is Unknown.
CommitOutcome askCommitOutcome(PGconn* lost, const CommitWitness& witness);
