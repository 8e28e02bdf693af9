#include "DatabaseServer.h"

#include "DatabaseUri.h"
#include "PgServer.h"
#include "VdbJudge.h"
#include "VdbServer.h"

DatabasePtr DatabaseServer::OpenDatabase(const QString& path, const QString& user,
                                         const QString& password, qint32 flags) {
    if (isServerUri(path))
        return PgServer(waitMs_, makeVdbJudge).OpenDatabase(path, user, password, flags);
    return VdbServer(waitMs_).OpenDatabase(path, user, password, flags);
}
