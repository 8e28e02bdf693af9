#pragma once

#include "MessageBoxes.h"

#include <deque>
#include <vector>

// Answers message boxes from a queue and records every box; a box nobody expected, or an
// expected box that never came, fails the running test.
class ScriptedMessageBoxes : public MessageBoxes {
public:
    ~ScriptedMessageBoxes() override;

    // The next box is answered with answer.
    void expect(MsgAnswer answer) { answers_.push_back(answer); }
    MsgAnswer show(const MessageBoxRequest& request) override;

    const std::vector<MessageBoxRequest>& shown() const { return shown_; }
    // The last box shown; fails the test when there was none.
    MessageBoxRequest last() const;
    int pending() const { return static_cast<int>(answers_.size()); }

private:
    std::deque<MsgAnswer> answers_;
    std::vector<MessageBoxRequest> shown_;
};
