#pragma once

#include <QString>

#include <exception>

// Exit statuses of vdbtool.
namespace ExitStatus {
constexpr int Done = 0;
constexpr int Failed = 1;
constexpr int Usage = 2;
} // namespace ExitStatus

// A failure vdbtool reports in words. Usage errors also point the user to --help.
class ToolError : public std::exception {
public:
    explicit ToolError(QString message, int status = ExitStatus::Failed)
        : message_(std::move(message))
        , status_(status) {}

    const QString& message() const { return message_; }
    int status() const { return status_; }
    const char* what() const noexcept override { return "vdbtool error"; }

private:
    QString message_;
    int status_;
};

[[noreturn]] inline void fail(const QString& message) {
    throw ToolError(message);
}

[[noreturn]] inline void usageFail(const QString& message) {
    throw ToolError(message, ExitStatus::Usage);
}
