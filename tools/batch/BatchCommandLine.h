#pragma once

#include "CommandLine.h"
#include "FieldPair.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// What the run answers when it asks, after an error, whether to stop and whether to undo the
// open batch.
enum class ErrorPolicy {
    Continue, // go on with the next value
    Stop,     // stop and keep the open batch
    Rollback, // stop and undo the open batch
};

QString errorPolicyName(ErrorPolicy policy);

// The command line of telnormer-batch. Wrong usage throws ToolError with ExitStatus::Usage.
class BatchCommandLine {
public:
    explicit BatchCommandLine(const QStringList& args);

    bool helpRequested() const { return options_.helpRequested(); }
    bool versionRequested() const { return options_.isSet(QStringLiteral("version")); }
    const QString& file() const { return file_; }
    const QString& user() const { return user_; }
    // The pairs of --field in the order given; empty when none was given.
    const QList<FieldPair>& fields() const { return fields_; }
    const std::optional<QString>& prefix() const { return prefix_; }
    // The pairs of --country-field: per table the field that names each record's country.
    const QList<FieldPair>& countryFields() const { return countryFields_; }
    bool onlyMarked() const { return options_.isSet(QStringLiteral("only-marked")); }
    ErrorPolicy onError() const { return onError_; }
    bool dryRun() const { return options_.isSet(QStringLiteral("dry-run")); }
    // Also rewrite values whose canonical form differs only in blanks and brackets.
    bool uniform() const { return options_.isSet(QStringLiteral("uniform")); }
    // The journal whose changes are put back, and the number of its run to undo (0: the last).
    const std::optional<QString>& undo() const { return undo_; }
    qint64 run() const { return run_; }
    // Where the values left unchanged are listed.
    const std::optional<QString>& report() const { return report_; }
    // Threads that format: 0 (not given) means one per core.
    int threads() const { return threads_; }
    // The options in the form the password reading takes.
    const CommandLine& options() const { return options_; }

private:
    // args without the "--field TABLE FIELD" and "--country-field TABLE FIELD" triples, which
    // go to fields and countryFields.
    static QStringList takeFields(const QStringList& args, QList<FieldPair>& fields,
                                  QList<FieldPair>& countryFields);

    QList<FieldPair> fields_;
    QList<FieldPair> countryFields_;
    CommandLine options_;
    QString file_;
    QString user_;
    std::optional<QString> prefix_;
    std::optional<QString> undo_;
    std::optional<QString> report_;
    ErrorPolicy onError_ = ErrorPolicy::Stop;
    int threads_ = 0;
    qint64 run_ = 0;
};
