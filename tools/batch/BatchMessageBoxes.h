#pragma once

#include "BatchCommandLine.h"
#include "MessageBoxes.h"

#include <QString>
#include <QStringList>
#include <QTextStream>

#include <functional>
#include <optional>

// Answers the run's questions by the --on-error policy instead of a user: "cancel?" after an
// error, then "roll back?". Every box's text goes to the error stream with the answer given.
// The closing "Show log?" is answered No and kept as the summary line rather than printed.
class BatchMessageBoxes : public MessageBoxes {
public:
    // beforeOutput runs ahead of every text, so that a progress bar can make room.
    BatchMessageBoxes(ErrorPolicy policy, QTextStream& err, std::function<void()> beforeOutput);

    MsgAnswer show(const MessageBoxRequest& request) override;

    // Once interrupted() is true, "cancel?" is answered Yes whatever the policy: someone asked
    // for the stop. What the run stored is kept (its undo question takes the default, No). The
    // roll-back question after an error follows the policy.
    void answerCancelWhen(std::function<bool()> interrupted) {
        interrupted_ = std::move(interrupted);
    }

    // Names the texts may quote from data (a journal's table and field names): one with a line
    // break in it is printed escaped, so that it cannot forge a line such as an answer.
    void quotedNames(QStringList names) { names_ = std::move(names); }

    // The first line of the closing question ("N record(s) converted."), once it came.
    const std::optional<QString>& summary() const { return summary_; }
    // An error was reported after the roll-back question: the open batch met a failure there.
    bool failedAfterStop() const { return failedAfterStop_; }

private:
    void print(const QString& text, const QString& answer = {});

    ErrorPolicy policy_;
    QTextStream& err_;
    std::function<void()> beforeOutput_;
    std::function<bool()> interrupted_;
    std::optional<QString> summary_;
    QStringList names_;
    bool stopping_ = false;
    bool failedAfterStop_ = false;
};
