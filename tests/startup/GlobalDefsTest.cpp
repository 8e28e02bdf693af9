#include "GlobalDefs.h"
#include "AppTitle.h"
#include "ErrorOf.h"
#include "MessageBoxPrinting.h"
#include "ScriptedMessageBoxes.h"
#include "StringConversions.h"
#include "StringTable.h"

#include <gtest/gtest.h>

#include <limits>

using namespace Qt::StringLiterals;

namespace {

TEST(FormatString, FillsPlaceholdersInOrderAndRefusesNullOrNoText) {
    struct Case {
        QString text;
        QVariantList args;
        QString expected;
        qint32 error = 0;
    };
    // clang-format off
    const Case cases[] = {
        {u"Checking records in table %s, %s from %s records checked."_s, {u"Kunden"_s, 10, 250}, u"Checking records in table Kunden, 10 from 250 records checked."_s},
        {u"%s and %s"_s, {u"one"_s}, u"one and %s"_s}, // a missing argument keeps the placeholder
        {u"a %s/nb/n"_s, {}, u"a %s\r\nb\r\n"_s},
        {u"[%s] [%s]"_s, {u"%s"_s, u"x"_s}, u"[x] [%s]"_s}, // a placeholder in an argument is filled by the next
        {u"%s!"_s, {u"a/nb"_s}, u"a\r\nb!"_s},
        {u"%s"_s, {1, 2, 3}, u"1"_s},
        {u"%S %s"_s, {u"x"_s}, u"%S x"_s},
        {u"/%s"_s, {u"n"_s}, u"\r\n"_s},
        {u"<%s>"_s, {QString()}, u"<>"_s},
        {u"%s"_s, {-5}, u"-5"_s},
        {u"%s"_s, {QVariant()}, {}, ErrorNumber::InvalidUseOfNull},
        {u"%s"_s, {QVariant::fromValue(nullptr)}, {}, ErrorNumber::InvalidUseOfNull},
        {u"%s"_s, {QVariant(QVariantList{1, 2})}, {}, ErrorNumber::TypeMismatch},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        const QString text = c.text;
        QString result;
        EXPECT_EQ(errorOf([&] { result = FormatString(text, c.args); }).number(), c.error);
        EXPECT_EQ(result, c.expected);
        EXPECT_EQ(text, c.text);
    }
}

TEST(ErrorText, RendersNumberInUpperCaseHex) {
    // clang-format off
    const std::pair<ErrorRecord, QString> cases[] = {
        {ErrorRecord(61, u"Disk full"_s), u"Disk full (&H3D)"_s},
        {ErrorRecord(5, u"Bad call"_s), u"Bad call (&H5)"_s},
        {ErrorRecord(0, u"Zero"_s), u"Zero (&H0)"_s},
        {ErrorRecord(serverErrorNumber(0x1076), u"Check"_s), u"Check (&H80041076)"_s},
        {ErrorRecord(-1, u"Minus"_s), u"Minus (&HFFFFFFFF)"_s},
        {ErrorRecord(std::numeric_limits<qint32>::min(), u""_s), u" (&H80000000)"_s},
    };
    // clang-format on
    for (const auto& [error, text] : cases)
        EXPECT_EQ(ErrorText(error), text);
}

class ShowErrorTest : public ::testing::Test {
protected:
    void SetUp() override { setUiLanguageOverride(UiLanguage::English); }
    void TearDown() override { setUiLanguageOverride(std::nullopt); }
    ScriptedMessageBoxes boxes;
};

TEST_F(ShowErrorTest, ServerErrorsShowTheirStringOrTheirNumber) {
    // clang-format off
    const std::tuple<qint32, QString, MsgIcon> cases[] = {
        {108, u"desc (&H6C)"_s, MsgIcon::Stop}, // 108 is a string id too: a positive number must not reach the table
        {serverErrorNumber(108), LoadResourceString(IDS_LOGIN_NO_USER), MsgIcon::Information},
        {serverErrorNumber(4000), u"VelDbServer returned Error &H80040FA0"_s, MsgIcon::Stop},
        {0, u"VelDbServer returned Error &H0"_s, MsgIcon::Stop},
        {serverErrorNumber(0x10000), u"VelDbServer returned Error &H80050000"_s, MsgIcon::Stop},
    };
    // clang-format on
    for (const auto& [number, text, icon] : cases) {
        boxes.expect(MsgAnswer::Ok);
        ShowError(ErrorRecord(number, u"desc"_s), boxes);
        const MessageBoxRequest expected{text, AppTitle(), icon, MsgButtons::Ok, MsgAnswer::Ok};
        EXPECT_EQ(boxes.last(), expected);
    }
}

// A box that fails while being shown is reported by a second box with the failure's text.
class FailingFirstBox : public ScriptedMessageBoxes {
public:
    MsgAnswer show(const MessageBoxRequest& request) override {
        const MsgAnswer answer = ScriptedMessageBoxes::show(request);
        if (shown().size() == 1)
            throw ErrorRecord(7, u"Out of memory"_s);
        return answer;
    }
};

TEST_F(ShowErrorTest, OtherFailureWhileShowingReportsThatFailure) {
    FailingFirstBox failing;
    failing.expect(MsgAnswer::Ok);
    failing.expect(MsgAnswer::Ok);
    ShowError(ErrorRecord(serverErrorNumber(107), {}), failing);
    ASSERT_EQ(failing.shown().size(), 2u);
    EXPECT_EQ(failing.shown()[1].text, u"Out of memory (&H7)"_s);
    EXPECT_EQ(failing.shown()[1].icon, MsgIcon::Stop);
}

} // namespace
