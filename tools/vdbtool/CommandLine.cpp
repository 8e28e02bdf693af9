#include "CommandLine.h"

#include "ToolError.h"

#include <QCommandLineParser>

using namespace Qt::StringLiterals;

namespace {

bool carriesPassword(const QString& name) {
    static const QStringList names{u"password"_s, u"passwd"_s, u"pass"_s, u"pw"_s, u"pwd"_s};
    return names.contains(name.toLower()) || name == u"p"_s;
}

// "-5" is an operand, so that negative IDs work; Qt would read it as the short option "5". A NUL
// cannot come from a real command line, so it stands in for the dash while Qt parses.
QString hideNegative(const QString& arg) {
    return arg.size() > 1 && arg[0] == u'-' && arg[1].isDigit() ? QChar(u'\0') + arg.mid(1) : arg;
}

QString restore(QString arg) {
    if (arg.startsWith(QChar(u'\0')))
        arg[0] = u'-';
    return arg;
}

// Qt's own texts name only an option of ours ("Missing value after '--user'."); they are said
// again in the command line's language. Another text of Qt's is passed on as it is.
QString parserError(const QString& error, UiLanguage language) {
    const QString option = error.section(u'\'', 1, 1);
    if (error == u"Missing value after '"_s + option + u"'."_s)
        return LoadResourceText(IDS_TOOL_MISSING_VALUE, {option}, language);
    if (error == u"Unexpected value after '"_s + option + u"'."_s)
        return LoadResourceText(IDS_TOOL_UNEXPECTED_VALUE, {option}, language);
    return error;
}

} // namespace

QString passwordOnCommandLineMessage(UiLanguage language) {
    return LoadResourceString(IDS_TOOL_PASSWORD_ON_COMMAND_LINE, language);
}

CommandLine::CommandLine(const QStringList& args, const QList<OptionDef>& options,
                         UiLanguage language)
    : language_(language) {
    QCommandLineParser parser;
    const QCommandLineOption help(QStringList{u"h"_s, u"help"_s});
    parser.addOption(help);
    for (const OptionDef& o : options)
        parser.addOption(o.takesValue ? QCommandLineOption(o.name, {}, u"value"_s)
                                      : QCommandLineOption(o.name));
    QStringList hidden{u"-"_s}; // the program's name, which the parser skips
    const qsizetype end = args.indexOf(u"--"_s);
    for (qsizetype i = 0; i < args.size(); ++i)
        hidden << (end >= 0 && i >= end ? args[i] : hideNegative(args[i]));
    const bool parsed = parser.parse(hidden);
    // Help wins over every other mistake on the line.
    help_ = parser.isSet(help);
    if (help_)
        return;
    if (!parsed) {
        const QStringList unknown = parser.unknownOptionNames();
        if (std::any_of(unknown.cbegin(), unknown.cend(), carriesPassword))
            usageFail(passwordOnCommandLineMessage(language));
        if (!unknown.isEmpty())
            usageFail(
                refusedArgument(LoadResourceString(IDS_TOOL_UNKNOWN_OPTION, language), language));
        usageFail(parserError(parser.errorText(), language));
    }
    const QStringList seen = parser.optionNames();
    for (const OptionDef& o : options) {
        if (seen.count(o.name) > 1)
            usageFail(LoadResourceText(IDS_TOOL_GIVEN_TWICE, {o.name}, language));
        if (parser.isSet(o.name))
            values_.insert(o.name, restore(parser.value(o.name)));
    }
    for (const QString& operand : parser.positionalArguments())
        operands_ << restore(operand);
}

void CommandLine::expectOperands(qsizetype min, qsizetype max) const {
    if (operands_.size() < min)
        usageFail(u"too few arguments"_s);
    if (operands_.size() > max)
        usageFail(refusedArgument(u"too many arguments: "_s +
                                  QString::number(operands_.size() - max) +
                                  u" more than expected"_s));
}

QString versionText(const QString& program) {
    return program + u" (Telnormer) " TELNORMER_VERSION "\nCopyright (C) " TELNORMER_COPYRIGHT
                     "\n"_s;
}

QString refusedArgument(const QString& what, UiLanguage language) {
    return LoadResourceText(IDS_TOOL_NOT_SHOWN, {what}, language);
}
