#pragma once

#include "VdbTool.h"

#include <QBuffer>
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
    QByteArray outBytes; // standard output as written, byte for byte
};

inline ToolResult runTool(const QStringList& args, const QString& input = {}) {
    QString inText = input;
    ToolResult result;
    QBuffer outBuffer(&result.outBytes);
    outBuffer.open(QIODevice::WriteOnly);
    QTextStream in(&inText, QIODevice::ReadOnly);
    QTextStream out(&outBuffer);
    QTextStream err(&result.err, QIODevice::WriteOnly);
    result.status = runVdbTool(args, in, out, err);
    out.flush();
    err.flush();
    result.out = QString::fromUtf8(result.outBytes);
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
