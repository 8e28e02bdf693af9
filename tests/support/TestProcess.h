#pragma once

// Files, environment variables and program runs for tests: the one place for these helpers.

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTextStream>

#include <gtest/gtest.h>

#include <functional>

// The whole file; "<unreadable>" when it cannot be read, so that no comparison mistakes a
// missing file for an empty one.
inline QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

inline void writeFile(const QString& path, const QByteArray& content) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(file.write(content), content.size()) << path.toStdString();
}

// Sets an environment variable, or removes it (null value), for one scope; the old value, or
// its absence, comes back at the end.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const QByteArray& value)
        : name_(name)
        , had_(qEnvironmentVariableIsSet(name))
        , old_(qgetenv(name)) {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }
    ~ScopedEnv() {
        if (had_)
            qputenv(name_, old_);
        else
            qunsetenv(name_);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    bool had_;
    QByteArray old_;
};

// What a program run left: exit status (-1 when it crashed or hung), its two output streams.
struct ProcessResult {
    int status = -1;
    QString out;
    QString err;
    QByteArray outBytes; // standard output byte for byte
    qint64 milliseconds = 0;
};

using StreamEntry = std::function<int(QTextStream& in, QTextStream& out, QTextStream& err)>;

// Runs a program's entry point in this process on text streams, with input as standard input.
inline ProcessResult runCaptured(const StreamEntry& entry, const QString& input = {}) {
    QString inText = input;
    ProcessResult result;
    QTextStream in(&inText, QIODevice::ReadOnly);
    QTextStream out(&result.outBytes, QIODevice::WriteOnly);
    QTextStream err(&result.err, QIODevice::WriteOnly);
    result.status = entry(in, out, err);
    out.flush();
    err.flush();
    result.out = QString::fromUtf8(result.outBytes);
    return result;
}

// Runs a program to its end with input on its standard input.
inline ProcessResult
runProcess(const QString& program, const QStringList& args, const QByteArray& input = {},
           const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment(),
           int timeoutMs = 120000) {
    QProcess process;
    process.setProcessEnvironment(environment);
    QElapsedTimer timer;
    timer.start();
    process.start(program, args);
    EXPECT_TRUE(process.waitForStarted(10000)) << process.errorString().toStdString();
    process.write(input);
    process.closeWriteChannel();
    EXPECT_TRUE(process.waitForFinished(timeoutMs)) << program.toStdString() << " hangs";
    ProcessResult result;
    result.milliseconds = timer.elapsed();
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(10000);
    } else if (process.exitStatus() == QProcess::NormalExit) {
        result.status = process.exitCode();
    }
    result.outBytes = process.readAllStandardOutput();
    result.out = QString::fromUtf8(result.outBytes);
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}
