#pragma once

#include "StringTable.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTextStream>

// The streams a command talks through; tests hand in strings, main() the standard streams.
struct ToolIo {
    QTextStream& in;
    QTextStream& out;
    QTextStream& err;
};

struct OptionDef {
    QString name; // without the leading "--"
    bool takesValue = false;
};

// The options and operands of one command, read by QCommandLineParser. Options ("--name",
// "--name value", "--name=value") may stand anywhere; "--" ends them. "-5" is an operand, so
// that negative IDs work. Options that would carry a password are refused outright, and no
// refused argument is ever echoed. Its refusals, and those of the password reading, are said in
// language: vdbtool keeps to English, telnormer-batch speaks the user interface's.
class CommandLine {
public:
    CommandLine(const QStringList& args, const QList<OptionDef>& options,
                UiLanguage language = UiLanguage::English);

    bool helpRequested() const { return help_; }
    bool isSet(const QString& name) const { return values_.contains(name); }
    // The option's value; empty when it is not set.
    QString value(const QString& name) const { return values_.value(name); }
    const QStringList& operands() const { return operands_; }
    // Fails with a usage error unless there are between min and max operands.
    void expectOperands(qsizetype min, qsizetype max) const;
    UiLanguage language() const { return language_; }

private:
    UiLanguage language_;
    bool help_ = false;
    QHash<QString, QString> values_;
    QStringList operands_;
};

// What --version prints: the program, the package and its version, the copyright.
QString versionText(const QString& program);

// The explanation every refusal of a command-line password gives.
QString passwordOnCommandLineMessage(UiLanguage language = UiLanguage::English);

// The message for a refused argument, which is never echoed: it might be a password typed by
// mistake, and messages end up on terminals and in logs.
QString refusedArgument(const QString& what, UiLanguage language = UiLanguage::English);
