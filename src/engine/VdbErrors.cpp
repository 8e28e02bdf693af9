#include "VdbErrors.h"

ErrorRecord vdbError(quint32 code, const QString& description) {
    return ErrorRecord(serverErrorNumber(code), description, QStringLiteral("VdbServer"));
}
