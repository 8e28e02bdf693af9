#pragma once

#include "RunFiles.h"

#include <QByteArray>
#include <QString>

struct UnreadableValue;

// The report of a run: the values it left out of canonical form, as CSV. It is written to a new
// file beside its path and put in the path's place only when it is whole, so that a report that
// could not be written leaves what was there as it was. The batch program streams it during its
// run; the window writes the rows it collected.
class RunReport {
public:
    RunReport() = default;
    ~RunReport();
    RunReport(const RunReport&) = delete;
    RunReport& operator=(const RunReport&) = delete;

    // Whether report names a file the run reads or writes: the database or one of its companions,
    // a log or journal of any database.
    static bool clashes(const QString& report, const QString& database);
    // One row as the report writes it, with its line end.
    static QByteArray row(const UnreadableValue& value);

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
