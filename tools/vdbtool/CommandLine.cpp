#include "CommandLine.h"

#include "ToolError.h"

using namespace Qt::StringLiterals;

namespace {

bool looksLikeOption(const QString& arg) {
    return arg.size() > 1 && arg[0] == u'-' && !arg[1].isDigit();
}

bool carriesPassword(const QString& name) {
    static const QStringList names{u"password"_s, u"passwd"_s, u"pass"_s, u"pw"_s, u"pwd"_s};
    return names.contains(name.toLower()) || name == u"p"_s;
}

} // namespace

QString passwordOnCommandLineMessage() {
    return u"passwords are not taken from the command line, where other users can see them; "
           "use --password-file FILE, the environment variable VDB_PASSWORD or standard input"_s;
}

CommandLine::CommandLine(const QStringList& args, const QList<OptionDef>& options) {
    for (const QString& arg : args) {
        if (arg == u"--"_s)
            break;
        if (arg == u"--help"_s || arg == u"-h"_s) {
            help_ = true;
            return;
        }
    }
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (arg == u"--"_s) {
            operands_ << args.mid(i + 1);
            return;
        }
        if (!looksLikeOption(arg)) {
            operands_ << arg;
            continue;
        }
        const QString body = arg.startsWith(u"--"_s) ? arg.mid(2) : arg.mid(1);
        const qsizetype equals = body.indexOf(u'=');
        const QString name = equals < 0 ? body : body.left(equals);
        if (carriesPassword(name))
            usageFail(passwordOnCommandLineMessage());
        const auto option = std::find_if(options.begin(), options.end(),
                                         [&](const OptionDef& o) { return o.name == name; });
        if (option == options.end() || !arg.startsWith(u"--"_s))
            usageFail(refusedArgument(u"unknown option"_s));
        if (values_.contains(name))
            usageFail(u"the option --"_s + name + u" is given twice"_s);
        if (!option->takesValue) {
            if (equals >= 0)
                usageFail(u"the option --"_s + name + u" takes no value"_s);
            values_.insert(name, {});
            continue;
        }
        if (equals >= 0) {
            values_.insert(name, body.mid(equals + 1));
        } else {
            if (i + 1 >= args.size())
                usageFail(u"the option --"_s + name + u" needs a value"_s);
            values_.insert(name, args[++i]);
        }
    }
}

void CommandLine::expectOperands(qsizetype min, qsizetype max) const {
    if (operands_.size() < min)
        usageFail(u"too few arguments"_s);
    if (operands_.size() > max)
        usageFail(refusedArgument(u"too many arguments: "_s +
                                  QString::number(operands_.size() - max) +
                                  u" more than expected"_s));
}

QString refusedArgument(const QString& what) {
    return what + u" (the argument is not shown: it might be a password typed by mistake)"_s;
}
