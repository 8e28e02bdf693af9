#pragma once

#include "VdbTool.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QTextStream>

#include <gtest/gtest.h>

// Runs vdbtool in-process with input as standard input.
struct ToolResult {
    int status = -1;
    QString out;
    QString err;
};

inline ToolResult runTool(const QStringList& args, const QString& input = {}) {
    QString inText = input;
    ToolResult result;
    QTextStream in(&inText, QIODevice::ReadOnly);
    QTextStream out(&result.out, QIODevice::WriteOnly);
    QTextStream err(&result.err, QIODevice::WriteOnly);
    result.status = runVdbTool(args, in, out, err);
    out.flush();
    err.flush();
    return result;
}

inline void writeFile(const QString& path, const QByteArray& content) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    file.write(content);
}

inline QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Sets an environment variable for one scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const QByteArray& value)
        : name_(name) {
        qputenv(name, value);
    }
    ~ScopedEnv() { qunsetenv(name_); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
};

#define EXPECT_TOOL_OK(result)                                                                     \
    EXPECT_EQ((result).status, 0) << "stderr: " << (result).err.toStdString()
