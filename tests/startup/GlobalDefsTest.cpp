#include "GlobalDefs.h"
#include "AppTitle.h"
#include "ScriptedMessageBoxes.h"
#include "StringConversions.h"
#include "StringTable.h"

#include <gtest/gtest.h>

#include <limits>

using namespace Qt::StringLiterals;

namespace {

struct FormatCase {
    const char* name;
    QString text;
    QVariantList args;
    QString expected;
};

void PrintTo(const FormatCase& c, std::ostream* out) {
    *out << c.name;
}

class FormatStringTest : public ::testing::TestWithParam<FormatCase> {};

TEST_P(FormatStringTest, FillsPlaceholdersInOrder) {
    EXPECT_EQ(FormatString(GetParam().text, GetParam().args), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FormatStringTest,
    ::testing::Values(
        FormatCase{"ProgressText",
                   u"Checking records in table %s, %s from %s records checked."_s,
                   {u"Kunden"_s, 10, 250},
                   u"Checking records in table Kunden, 10 from 250 records checked."_s},
        FormatCase{"MissingArgumentKeepsPlaceholder", u"%s and %s"_s, {u"one"_s}, u"one and %s"_s},
        FormatCase{"NoArgumentsOnlyLineBreaks", u"a %s/nb/n"_s, {}, u"a %s\r\nb\r\n"_s},
        FormatCase{
            "ArgumentPlaceholderFilledByNext", u"[%s] [%s]"_s, {u"%s"_s, u"x"_s}, u"[x] [%s]"_s},
        FormatCase{"ArgumentLineBreakBecomesCrLf", u"%s!"_s, {u"a/nb"_s}, u"a\r\nb!"_s},
        FormatCase{"SurplusArgumentsIgnored", u"%s"_s, {1, 2, 3}, u"1"_s},
        FormatCase{"PlaceholderIsCaseSensitive", u"%S %s"_s, {u"x"_s}, u"%S x"_s},
        FormatCase{"LineBreakFormedWithArgument", u"/%s"_s, {u"n"_s}, u"\r\n"_s},
        FormatCase{"EmptyStringArgument", u"<%s>"_s, {QString()}, u"<>"_s},
        FormatCase{"NegativeNumber", u"%s"_s, {-5}, u"-5"_s}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FormatString, NullArgumentFailsWithInvalidUseOfNull) {
    try {
        FormatString(u"%s"_s, {QVariant()});
        FAIL() << "no error";
    } catch (const ErrorRecord& e) {
        EXPECT_EQ(e.number(), ErrorNumber::InvalidUseOfNull);
    }
    EXPECT_THROW(FormatString(u"%s"_s, {QVariant::fromValue(nullptr)}), ErrorRecord);
}

TEST(FormatString, ArgumentThatIsNoTextFailsWithTypeMismatch) {
    try {
        FormatString(u"%s"_s, {QVariant(QVariantList{1, 2})});
        FAIL() << "no error";
    } catch (const ErrorRecord& e) {
        EXPECT_EQ(e.number(), ErrorNumber::TypeMismatch);
    }
}

TEST(FormatString, DoesNotChangeItsText) {
    const QString text = u"%s/n"_s;
    FormatString(text, {u"x"_s});
    EXPECT_EQ(text, u"%s/n"_s);
}

TEST(ErrorText, RendersNumberInUpperCaseHex) {
    EXPECT_EQ(ErrorText(ErrorRecord(61, u"Disk full"_s)), u"Disk full (&H3D)"_s);
    EXPECT_EQ(ErrorText(ErrorRecord(5, u"Bad call"_s)), u"Bad call (&H5)"_s);
    EXPECT_EQ(ErrorText(ErrorRecord(0, u"Zero"_s)), u"Zero (&H0)"_s);
    EXPECT_EQ(ErrorText(ErrorRecord(serverErrorNumber(0x1076), u"Check"_s)),
              u"Check (&H80041076)"_s);
    EXPECT_EQ(ErrorText(ErrorRecord(-1, u"Minus"_s)), u"Minus (&HFFFFFFFF)"_s);
    EXPECT_EQ(ErrorText(ErrorRecord(std::numeric_limits<qint32>::min(), u""_s)),
              u" (&H80000000)"_s);
}

class ShowErrorTest : public ::testing::Test {
protected:
    void SetUp() override { setUiLanguageOverride(UiLanguage::English); }
    void TearDown() override { setUiLanguageOverride(std::nullopt); }
    ScriptedMessageBoxes boxes;
};

TEST_F(ShowErrorTest, PositiveNumberShowsErrorTextWithStopIcon) {
    boxes.expect(MsgAnswer::Ok);
    // 108 is a string id too: a positive number must not reach the table.
    ShowError(ErrorRecord(108, u"File not found"_s), boxes);
    const MessageBoxRequest expected{u"File not found (&H6C)"_s, AppTitle(), MsgIcon::Stop,
                                     MsgButtons::Ok, MsgAnswer::Ok};
    EXPECT_EQ(boxes.last(), expected);
}

TEST_F(ShowErrorTest, ServerErrorShowsItsStringWithInformationIcon) {
    boxes.expect(MsgAnswer::Ok);
    ShowError(ErrorRecord(serverErrorNumber(108), u"ignored"_s), boxes);
    EXPECT_EQ(boxes.last().text, u"Please enter a user name."_s);
    EXPECT_EQ(boxes.last().icon, MsgIcon::Information);
    EXPECT_EQ(boxes.last().buttons, MsgButtons::Ok);
    EXPECT_EQ(boxes.last().caption, AppTitle());
}

TEST_F(ShowErrorTest, ServerErrorInGerman) {
    setUiLanguageOverride(UiLanguage::German);
    boxes.expect(MsgAnswer::Ok);
    ShowError(ErrorRecord(serverErrorNumber(108), {}), boxes);
    EXPECT_EQ(boxes.last().text, u"Bitte geben Sie einen Benutzernamen ein."_s);
}

TEST_F(ShowErrorTest, MissingStringShowsServerNumberWithStopIcon) {
    struct Case {
        qint32 number;
        QString text;
    };
    const Case cases[] = {
        {serverErrorNumber(4000), u"VelDbServer returned Error &H80040FA0"_s},
        {0, u"VelDbServer returned Error &H0"_s},
        {-1, u"VelDbServer returned Error &HFFFFFFFF"_s},
        {std::numeric_limits<qint32>::min(), u"VelDbServer returned Error &H80000000"_s},
        {serverErrorNumber(0x10000), u"VelDbServer returned Error &H80050000"_s},
    };
    for (const Case& c : cases) {
        boxes.expect(MsgAnswer::Ok);
        ShowError(ErrorRecord(c.number, u"desc"_s), boxes);
        EXPECT_EQ(boxes.last().text, c.text);
        EXPECT_EQ(boxes.last().icon, MsgIcon::Stop);
    }
}

// A box that fails while being shown is reported by a second box with the failure's text.
class FailingFirstBox : public ScriptedMessageBoxes {
public:
    MsgAnswer show(const MessageBoxRequest& request) override {
        if (!failed_) {
            failed_ = true;
            ScriptedMessageBoxes::show(request);
            throw ErrorRecord(7, u"Out of memory"_s);
        }
        return ScriptedMessageBoxes::show(request);
    }

private:
    bool failed_ = false;
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

TEST(HexNumber, UpperCaseWithoutLeadingZeros) {
    EXPECT_EQ(HexNumber(0), u"0"_s);
    EXPECT_EQ(HexNumber(255), u"FF"_s);
    EXPECT_EQ(HexNumber(-2147217290), u"80041076"_s);
}

} // namespace
