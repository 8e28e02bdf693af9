#include "BatchMessageBoxes.h"

#include "ChangeLog.h"
#include "StringTable.h"

using namespace Qt::StringLiterals;

BatchMessageBoxes::BatchMessageBoxes(ErrorPolicy policy, QTextStream& err,
                                     std::function<void()> beforeOutput)
    : policy_(policy)
    , err_(err)
    , beforeOutput_(std::move(beforeOutput)) {}

void BatchMessageBoxes::print(const QString& text, const QString& answer) {
    if (beforeOutput_)
        beforeOutput_();
    QString lines = text;
    for (const QString& name : names_) {
        if (const QString shown = ChangeLog::visible(name); shown != name)
            lines.replace(name, shown);
    }
    lines.replace(u"\r\n"_s, u"\n"_s);
    // No terminal escapes either: each line shows what it holds.
    QStringList shown = lines.split(u'\n');
    for (QString& line : shown)
        line = ChangeLog::visible(line, false);
    err_ << shown.join(u'\n');
    if (!answer.isEmpty())
        err_ << ' ' << answer;
    err_ << '\n';
    err_.flush();
}

MsgAnswer BatchMessageBoxes::show(const MessageBoxRequest& request) {
    if (request.buttons != MsgButtons::YesNo) {
        failedAfterStop_ = failedAfterStop_ || stopping_;
        print(request.text);
        return MsgAnswer::Ok;
    }
    const QString showLog = u"\r\n"_s + LoadResourceString(IDS_RUN_ASK_SHOW_LOG);
    if (request.text.endsWith(showLog)) {
        // Nobody is there to read the log now; its path is printed instead.
        summary_ = request.text.chopped(showLog.size());
        return MsgAnswer::No;
    }
    MsgAnswer answer = request.defaultButton;
    QString reason = LoadResourceString(IDS_BATCH_BY_DEFAULT);
    if (request.text.endsWith(LoadResourceString(IDS_RUN_ASK_CANCEL))) {
        const bool interrupted = interrupted_ && interrupted_();
        answer = policy_ == ErrorPolicy::Continue && !interrupted ? MsgAnswer::No : MsgAnswer::Yes;
        reason = interrupted ? LoadResourceString(IDS_BATCH_INTERRUPTED)
                             : u"--on-error "_s + errorPolicyName(policy_);
    } else if (request.text == LoadResourceString(IDS_RUN_ASK_ROLLBACK)) {
        answer = policy_ == ErrorPolicy::Rollback ? MsgAnswer::Yes : MsgAnswer::No;
        stopping_ = true;
        reason = u"--on-error "_s + errorPolicyName(policy_);
    }
    print(request.text,
          LoadResourceText(answer == MsgAnswer::Yes ? IDS_BATCH_ANSWER_YES : IDS_BATCH_ANSWER_NO,
                           {reason}));
    return answer;
}
