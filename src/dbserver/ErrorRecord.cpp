#include "ErrorRecord.h"

#include <utility>

ErrorRecord::ErrorRecord(qint32 number, QString description, QString source)
    : number_(number)
    , description_(std::move(description))
    , source_(std::move(source))
    , what_(description_.toUtf8()) {}
