#pragma once

#include "DbServer.h"

// The database server of .vdb files.
class VdbServer : public DbServer {
public:
    // busyTimeoutMs: how long a call waits for another process's lock before it fails.
    explicit VdbServer(int busyTimeoutMs = 5000)
        : busyTimeoutMs_(busyTimeoutMs) {}

    DatabasePtr OpenDatabase(const QString& path, const QString& user, const QString& password,
                             qint32 flags) override;

private:
    int busyTimeoutMs_;
};

// Opens a .vdb file without a login, for administration tools that own the file.
class VdbCore;
std::shared_ptr<VdbCore> openVdbCore(const QString& path, int busyTimeoutMs = 5000);
