#include "ScriptedMessageBoxes.h"

#include <gtest/gtest.h>

ScriptedMessageBoxes::~ScriptedMessageBoxes() {
    EXPECT_TRUE(answers_.empty()) << answers_.size() << " expected message box(es) never shown";
}

MsgAnswer ScriptedMessageBoxes::show(const MessageBoxRequest& request) {
    shown_.push_back(request);
    if (answers_.empty()) {
        ADD_FAILURE() << "unexpected message box: \"" << request.text.toStdString()
                      << "\" (caption \"" << request.caption.toStdString() << "\")";
        return request.buttons == MsgButtons::Ok ? MsgAnswer::Ok : request.defaultButton;
    }
    const MsgAnswer answer = answers_.front();
    answers_.pop_front();
    return answer;
}

MessageBoxRequest ScriptedMessageBoxes::last() const {
    if (shown_.empty()) {
        ADD_FAILURE() << "no message box was shown";
        return {};
    }
    return shown_.back();
}
