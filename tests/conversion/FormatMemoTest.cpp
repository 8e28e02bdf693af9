#include "FormatMemo.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

QString numbered(int i) {
    return u"030 "_s + QString::number(1000000 + i);
}

TEST(FormatMemo, RemembersWithItsReason) {
    FormatMemo memo;
    EXPECT_FALSE(memo.find(u"030 1234567"_s));
    memo.remember(u"030 1234567"_s, {u"+49 (30) 1234567"_s, UnreadableReason::None});
    memo.remember(u"PLZ 10115"_s, {u"PLZ 10115"_s, UnreadableReason::NotTelephoneWords});
    const auto completed = memo.find(u"030 1234567"_s);
    ASSERT_TRUE(completed);
    EXPECT_EQ(completed->text, u"+49 (30) 1234567"_s);
    EXPECT_EQ(memo.find(u"PLZ 10115"_s)->reason, UnreadableReason::NotTelephoneWords);
    EXPECT_FALSE(memo.find(u"030 1234567 "_s)) << "texts are compared exactly";

    const QString longText(FormatMemo::kMaxTextLength + 1, u'1');
    memo.remember(longText, {longText, UnreadableReason::TooLong});
    EXPECT_FALSE(memo.find(longText));
}

// Unique values keep the memo at its bound; a text that keeps coming back stays, one that does
// not is forgotten after two generations.
TEST(FormatMemo, StaysBoundedAndKeepsWhatRecurs) {
    FormatMemo memo;
    const QString switchboard = u"0221 1234567"_s;
    memo.remember(switchboard, {u"+49 (221) 1234567"_s, UnreadableReason::None});
    memo.remember(u"once"_s, {u"once"_s, UnreadableReason::NoValidNumber});
    for (int i = 0; i < 5 * FormatMemo::kGenerationSize; ++i) {
        memo.remember(numbered(i), {numbered(i), UnreadableReason::None});
        if (i % 1000 == 0) {
            ASSERT_TRUE(memo.find(switchboard)) << i;
        }
        ASSERT_LE(memo.size(), 2 * FormatMemo::kGenerationSize);
    }
    EXPECT_FALSE(memo.find(u"once"_s));
    EXPECT_TRUE(memo.find(numbered(5 * FormatMemo::kGenerationSize - 1)));
    memo.clear();
    EXPECT_EQ(memo.size(), 0);
}

} // namespace
