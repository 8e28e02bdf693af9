#include "QtMessageBoxes.h"
#include "QtTranslations.h"
#include "ScriptedMessageBoxes.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

TEST(QtMessageBoxes, BuildsTheBoxAsRequested) {
    // clang-format off
    const std::pair<MsgIcon, QMessageBox::Icon> icons[] = {
        {MsgIcon::None, QMessageBox::NoIcon},
        {MsgIcon::Stop, QMessageBox::Critical},
        {MsgIcon::Question, QMessageBox::Question},
        {MsgIcon::Exclamation, QMessageBox::Warning},
        {MsgIcon::Information, QMessageBox::Information},
    };
    // clang-format on
    for (const auto& [icon, expected] : icons) {
        const auto box = QtMessageBoxes::build(
            {u"Text <b>x</b>\r\nline"_s, u"Caption"_s, icon, MsgButtons::Ok, MsgAnswer::Ok},
            nullptr);
        EXPECT_EQ(box->icon(), expected);
        EXPECT_EQ(box->text(), u"Text <b>x</b>\r\nline"_s);
        EXPECT_EQ(box->textFormat(), Qt::PlainText);
        EXPECT_EQ(box->windowTitle(), u"Caption"_s);
        EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
    }
}

TEST(QtMessageBoxes, YesNoWithDefaultButton) {
    for (const MsgAnswer def : {MsgAnswer::Yes, MsgAnswer::No}) {
        const auto box = QtMessageBoxes::build(
            {u"?"_s, u"c"_s, MsgIcon::Question, MsgButtons::YesNo, def}, nullptr);
        EXPECT_EQ(box->standardButtons(), QMessageBox::Yes | QMessageBox::No);
        EXPECT_EQ(box->defaultButton(),
                  box->button(def == MsgAnswer::No ? QMessageBox::No : QMessageBox::Yes));
        EXPECT_EQ(box->escapeButton(), box->button(QMessageBox::No));
    }
}

TEST(QtMessageBoxes, QtsOwnButtonsSpeakGermanUnderAGermanUi) {
    EXPECT_FALSE(installQtTranslations(UiLanguage::English));
    const auto translations = installQtTranslations(UiLanguage::German);
    ASSERT_TRUE(translations);
    const auto box = QtMessageBoxes::build(
        {u"?"_s, u"c"_s, MsgIcon::Question, MsgButtons::YesNo, MsgAnswer::No}, nullptr);
    EXPECT_EQ(box->button(QMessageBox::Yes)->text(), u"&Ja"_s);
    EXPECT_EQ(box->button(QMessageBox::No)->text(), u"&Nein"_s);
}

TEST(QtMessageBoxes, ShowReturnsThePressedButton) {
    QtMessageBoxes boxes;
    for (const auto& [button, expected] :
         {std::pair{QMessageBox::Yes, MsgAnswer::Yes}, std::pair{QMessageBox::No, MsgAnswer::No}}) {
        QTimer::singleShot(0, [button = button] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            box->button(button)->click();
        });
        EXPECT_EQ(boxes.yesNo(u"?"_s, u"c"_s, MsgIcon::Question, MsgAnswer::No), expected);
    }
}

TEST(ScriptedMessageBoxes, UnexpectedOrMissingBoxFailsTheTest) {
    EXPECT_NONFATAL_FAILURE(ScriptedMessageBoxes().ok(u"surprise"_s, u"t"_s, MsgIcon::Stop),
                            "unexpected message box: \"surprise\"");
    EXPECT_NONFATAL_FAILURE(ScriptedMessageBoxes().expect(MsgAnswer::Yes), "never shown");
}

} // namespace
