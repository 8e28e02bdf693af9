#include "BatchCommandLine.h"

#include "ChangeLog.h"
#include "StringTable.h"
#include "ToolError.h"

using namespace Qt::StringLiterals;

namespace {

constexpr int kMaxThreads = 256;

const QList<OptionDef>& optionDefs() {
    static const QList<OptionDef> defs{
        {u"user"_s, true},          {u"prefix"_s, true},       {u"on-error"_s, true},
        {u"password-file"_s, true}, {u"only-marked"_s, false}, {u"dry-run"_s, false},
        {u"undo"_s, true},          {u"report"_s, true},       {u"threads"_s, true},
        {u"version"_s, false},      {u"uniform"_s, false},     {u"run"_s, true}};
    return defs;
}

// "--name" whose value is the next argument, which therefore is never an option of its own.
bool takesNextArgument(const QString& arg) {
    if (!arg.startsWith(u"--"_s) || arg.contains(u'='))
        return false;
    const QString name = arg.mid(2);
    return std::any_of(optionDefs().cbegin(), optionDefs().cend(),
                       [&](const OptionDef& o) { return o.takesValue && o.name == name; });
}

bool isHelp(const QString& arg) {
    return arg == u"--help"_s || arg == u"-h"_s;
}

} // namespace

QString errorPolicyName(ErrorPolicy policy) {
    switch (policy) {
    case ErrorPolicy::Continue:
        return u"continue"_s;
    case ErrorPolicy::Stop:
        return u"stop"_s;
    case ErrorPolicy::Rollback:
        return u"rollback"_s;
    }
    return {};
}

QStringList BatchCommandLine::takeFields(const QStringList& args, QList<FieldPair>& fields,
                                         QList<FieldPair>& countryFields) {
    // Help wins over every other mistake on the line.
    const qsizetype end = args.indexOf(u"--"_s);
    if (std::any_of(args.cbegin(), end < 0 ? args.cend() : args.cbegin() + end, isHelp))
        return args;
    QStringList rest;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (arg == u"--"_s) {
            rest << args.mid(i);
            break;
        }
        const bool country = arg == u"--country-field"_s || arg.startsWith(u"--country-field="_s);
        const QString name = country ? u"--country-field"_s : u"--field"_s;
        if (arg.startsWith(name + u'='))
            usageFail(LoadResourceText(IDS_BATCH_FIELD_TAKES_TWO, {name, name}));
        if (arg != name) {
            rest << arg;
            if (takesNextArgument(arg) && i + 1 < args.size())
                rest << args[++i];
            continue;
        }
        if (i + 2 >= args.size())
            usageFail(LoadResourceText(IDS_BATCH_FIELD_NEEDS_PAIR, {name, name}));
        const FieldPair pair{args[i + 1], args[i + 2]};
        i += 2;
        if (pair.table.isEmpty() || pair.field.isEmpty())
            usageFail(LoadResourceText(IDS_BATCH_FIELD_EMPTY, {name}));
        if (country) {
            // One country a record: a second field for the same table would contradict it.
            if (std::any_of(countryFields.cbegin(), countryFields.cend(),
                            [&](const FieldPair& p) { return p.table == pair.table; }))
                usageFail(
                    LoadResourceText(IDS_BATCH_COUNTRY_TWICE, {ChangeLog::visible(pair.table)}));
            countryFields << pair;
            continue;
        }
        if (fields.contains(pair))
            usageFail(LoadResourceText(IDS_BATCH_FIELD_TWICE, {ChangeLog::visible(pair.table),
                                                               ChangeLog::visible(pair.field)}));
        fields << pair;
    }
    return rest;
}

BatchCommandLine::BatchCommandLine(const QStringList& args)
    : options_(takeFields(args, fields_, countryFields_), optionDefs(), uiLanguage()) {
    if (options_.helpRequested() || versionRequested())
        return;
    const QStringList& operands = options_.operands();
    if (operands.isEmpty())
        usageFail(LoadResourceString(IDS_BATCH_NO_DATABASE));
    if (operands.size() > 1)
        usageFail(LoadResourceText(IDS_BATCH_TOO_MANY, {QString::number(operands.size() - 1)}));
    file_ = operands.first();
    if (file_.isEmpty())
        usageFail(LoadResourceString(IDS_BATCH_EMPTY_FILE_NAME));

    user_ = options_.value(u"user"_s);
    if (user_.isEmpty())
        usageFail(LoadResourceString(IDS_BATCH_NO_USER));

    if (options_.isSet(u"prefix"_s)) {
        if (!fields_.isEmpty())
            usageFail(LoadResourceString(IDS_BATCH_FIELD_AND_PREFIX));
        prefix_ = options_.value(u"prefix"_s);
        // It would choose nothing: an empty prefix matches no field.
        if (prefix_->isEmpty())
            usageFail(LoadResourceString(IDS_BATCH_EMPTY_PREFIX));
    }

    if (options_.isSet(u"undo"_s)) {
        undo_ = options_.value(u"undo"_s);
        if (undo_->isEmpty())
            usageFail(LoadResourceString(IDS_BATCH_UNDO_NEEDS_JOURNAL));
        // The journal says which fields; a report of unreadable values has nothing to find.
        if (!fields_.isEmpty() || prefix_ || onlyMarked() || options_.isSet(u"report"_s) ||
            !countryFields_.isEmpty() || uniform())
            usageFail(LoadResourceString(IDS_BATCH_UNDO_EXCLUDES));
    }
    if (options_.isSet(u"run"_s)) {
        if (!undo_)
            usageFail(LoadResourceString(IDS_BATCH_RUN_WITHOUT_UNDO));
        bool ok = false;
        run_ = options_.value(u"run"_s).toLongLong(&ok);
        if (!ok || run_ < 1)
            usageFail(LoadResourceString(IDS_BATCH_RUN_NUMBER));
    }
    if (options_.isSet(u"report"_s)) {
        report_ = options_.value(u"report"_s);
        if (report_->isEmpty())
            usageFail(LoadResourceString(IDS_BATCH_REPORT_NEEDS_FILE));
    }

    if (options_.isSet(u"threads"_s)) {
        bool ok = false;
        threads_ = options_.value(u"threads"_s).toInt(&ok);
        if (!ok || threads_ < 1 || threads_ > kMaxThreads)
            usageFail(LoadResourceText(IDS_BATCH_THREADS, {QString::number(kMaxThreads)}));
    }
    if (options_.isSet(u"on-error"_s)) {
        const QString policy = options_.value(u"on-error"_s);
        if (policy == u"continue"_s)
            onError_ = ErrorPolicy::Continue;
        else if (policy == u"stop"_s)
            onError_ = ErrorPolicy::Stop;
        else if (policy == u"rollback"_s)
            onError_ = ErrorPolicy::Rollback;
        else
            usageFail(LoadResourceString(IDS_BATCH_ON_ERROR));
    }
}
