#pragma once

#include "ErrorOf.h"
#include "Sqlite.h"
#include "VdbErrors.h"

#include <gtest/gtest.h>

#include <functional>

// Expects call to fail with the server error of code; returns its description.
inline QString expectServerError(const std::function<void()>& call, quint32 code) {
    const ErrorRecord e = errorOf(call);
    EXPECT_EQ(e.number(), serverErrorNumber(code))
        << "got " << std::hex << e.number() << ": " << e.description().toStdString();
    return e.description();
}

// Runs sql on the file past the engine, as another program would.
inline void execRaw(const QString& path, const QString& sql) {
    SqliteConnection connection;
    ASSERT_EQ(connection.open(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE), SQLITE_OK);
    connection.exec(sql);
}
