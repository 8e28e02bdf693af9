#pragma once

#include "ConditionJudge.h"
#include "DbServer.h"

#include <memory>

// The database server of Telnormer databases on PostgreSQL, named by a connection URI. The user
// and password of the login are a role's: the server authenticates; the two admin rights are
// memberships in the database's own roles (named from its name); a login role that is not a
// member of its users' role is refused.
class PgServer : public DbServer {
public:
    // lockTimeoutMs: how long a write waits for a record another session holds before it fails;
    // judges: how the field conditions are judged without a round trip (none: they are not).
    explicit PgServer(int lockTimeoutMs = 5000, ConditionJudges judges = nullptr)
        : lockTimeoutMs_(lockTimeoutMs)
        , judges_(judges) {}

    DatabasePtr OpenDatabase(const QString& uri, const QString& user, const QString& password,
                             qint32 flags) override;

private:
    int lockTimeoutMs_;
    ConditionJudges judges_;
};

class PgCore;
// Opens a server database without the rights check, for administration tools; the URI carries
// user and password (or the environment: PGUSER, PGPASSWORD, ~/.pgpass).
std::shared_ptr<PgCore> openPgCore(const QString& uri, ConditionJudges judges = nullptr,
                                   int lockTimeoutMs = 5000);
