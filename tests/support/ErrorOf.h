#pragma once

#include "ErrorRecord.h"

#include <functional>

// The error an action raises; number 0 when it raises none.
inline ErrorRecord errorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const ErrorRecord& e) {
        return e;
    }
    return ErrorRecord(0, QStringLiteral("no error"));
}
