#pragma once

#include "DbServer.h"

// The database server of the programs: a connection URI (postgresql://, postgres://) opens a
// database on a PostgreSQL server, any other text a .vdb file.
class DatabaseServer : public DbServer {
public:
    // waitMs: how long a write waits for a lock another session or process holds.
    explicit DatabaseServer(int waitMs = 5000)
        : waitMs_(waitMs) {}

    DatabasePtr OpenDatabase(const QString& path, const QString& user, const QString& password,
                             qint32 flags) override;

private:
    int waitMs_;
};
