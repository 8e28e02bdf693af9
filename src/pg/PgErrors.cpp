#include "PgErrors.h"

ErrorRecord pgError(quint32 code, const QString& description) {
    return ErrorRecord(serverErrorNumber(code), description, QStringLiteral("PgServer"));
}
