#include "PgErrors.h"

ErrorRecord pgError(quint32 code, const QString& description) {
    return ErrorRecord(serverErrorNumber(code), description, QStringLiteral("PgServer"));
}

ErrorRecord pgConnectionLost(const QString& reason) {
    return pgError(PgCode::ConnectionLost,
                   QStringLiteral("The connection to the database server was lost: ") + reason);
}
