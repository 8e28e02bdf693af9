#pragma once

#include "RunFiles.h"

#include <QByteArray>
#include <QString>

struct UnreadableValue;

// The --report file: the values a run left unchanged because it could not read them, as CSV.
// It is written to a new file beside its path and put in the path's place only when the run has
// ended, so that a run that never starts, or a report that could not be written whole, leaves
// what was there as it was.
class BatchReport {
public:
    BatchReport() = default;
    ~BatchReport();
    BatchReport(const BatchReport&) = delete;
    BatchReport& operator=(const BatchReport&) = delete;

    // A usage error when report names a file the run reads or writes: the database or one of its
    // companions, a log or journal of the database.
    static void checkPath(const QString& report, const QString& database);

    // The new file beside path, with its header line; false with error() set.
    bool open(const QString& path, const FileModes& modes);
    bool isOpen() const { return fd_ >= 0; }
    // Throws ErrorRecord at the first write that fails; later values are dropped.
    void add(const UnreadableValue& value);
    // Puts the report in its place; false with error() set, and the old report stays.
    bool commit();
    void discard();
    const QString& error() const { return error_; }

private:
    bool writePending();
    bool fail(const QString& cause);

    QString path_;
    QString temp_;
    int fd_ = -1;
    QByteArray pending_;
    bool failed_ = false;
    QString error_;
};
