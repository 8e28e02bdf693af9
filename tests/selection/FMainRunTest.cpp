// The main window's runs: start, preview, stop, and what is refused before a run.
#include "FMainTestSupport.h"

#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

TEST_F(FMainTest, FieldsWithoutTextAreRefusedBeforeTheRun) {
    TableSchema orders = tableOf(u"Aufträge"_s, {u"Telefon"_s});
    orders.fields << FieldSchema{u"Nummer"_s, FieldType::Integer, {}}
                  << FieldSchema{u"Betrag"_s, FieldType::Real, {}}
                  << FieldSchema{u"Datum"_s, FieldType::Date, {}};
    setPrefix(QString());
    const auto w = load(VdbFixture::open(fx.create(u"orders.vdb"_s, schemaOf({orders}))));
    selectRows(lvwFields, {0, 1, 2, 3});
    cmdAddField->click();
    boxes.expect(MsgAnswer::Ok);
    cmdStart->click();
    EXPECT_EQ(boxes.last().text, u"These fields hold no text and cannot be converted:\r\n"
                                 "Aufträge.Nummer\r\nAufträge.Betrag\r\nAufträge.Datum"_s);
    EXPECT_EQ(boxes.last().icon, MsgIcon::Exclamation);
    EXPECT_TRUE(w->changeLog().path().isEmpty());
}

TEST_F(FMainTest, StartRunsTheConversionOnTheChosenFields) {
    VdbFixture::insert(file, u"Kunden"_s, {u"ID"_s, u"Name"_s, u"Telefon"_s, u"TELEFAX"_s},
                       {{u"1"_s, u"Meier"_s, u"030 1234567"_s, u"040 7654321"_s}});
    QStringList viewed;
    RunEnvironment environment;
    environment.clock = [] {
        return QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9));
    };
    environment.openViewer = [&](const QString& path) {
        viewed << path;
        return true;
    };
    const auto w = load({}, environment);
    w->show();
    // Preview first: its own log, nothing stored.
    boxes.expect(MsgAnswer::Yes);
    QTest::mouseClick(cmdPreview, Qt::LeftButton);
    EXPECT_TRUE(boxes.last().text.startsWith(u"2 value(s) would be converted."_s));
    ASSERT_EQ(viewed.size(), 1);
    EXPECT_TRUE(viewed.takeFirst().endsWith(u"/firm_2024-03-05 14-07-09_preview.txt"_s));
    boxes.expect(MsgAnswer::Yes);
    QTest::mouseClick(cmdStart, Qt::LeftButton);
    EXPECT_EQ(w->lastRun().converted, 2);
    EXPECT_TRUE(lblStatus->text().startsWith(u"2 record(s) converted."_s));
    EXPECT_EQ(prgBar->value(), 0);
    EXPECT_FALSE(w->hasPhoneComponent());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    ASSERT_EQ(viewed.size(), 1);
    EXPECT_TRUE(viewed[0].endsWith(u"/Logs/Telnormer/firm_2024-03-05 14-07-09.txt"_s));
    EXPECT_EQ(viewed[0], w->changeLog().path());
    // A second run appends to the same log.
    boxes.expect(MsgAnswer::No);
    cmdStart->click();
    EXPECT_EQ(w->lastRun().converted, 0);
    EXPECT_EQ(w->changeLog().path(), viewed[0]);
}

TEST_F(FMainTest, StopByButtonEscOrCloseBox) {
    QList<QVariantList> rows;
    for (int id = 1; id <= 120; ++id)
        rows << QVariantList{id, u"030 1234567"_s};
    VdbFixture::insert(file, u"Kunden"_s, {u"ID"_s, u"Telefon"_s}, rows);
    enum class Input { StopButton, Escape, CloseBox };
    // clang-format off
    const std::pair<Input, bool> cases[] = {
        {Input::StopButton, true},
        {Input::Escape, true},
        {Input::CloseBox, false}, // the window closes once the run has stopped
    };
    // clang-format on
    for (const auto& [input, staysOpen] : cases) {
        SCOPED_TRACE(static_cast<int>(input));
        RunEnvironment environment;
        // A log file of its own for each window.
        environment.clock = [input = input] {
            return QDateTime(QDate(2024, 3, 5), QTime(14, 7, static_cast<int>(input)));
        };
        const auto w = load({}, environment);
        w->show();
        QApplication::setActiveWindow(w.get());
        bool lockedDuringRun = false;
        // Runs at the run's first repaint point, as the user's input would.
        QTimer::singleShot(0, w.get(), [&, input = input] {
            lockedDuringRun = cmdStart->text() == u"Stop"_s && cmdStart->isEnabled() &&
                              !cmdPreview->isEnabled() && !cmdClose->isEnabled() &&
                              !lvwTables->isEnabled() && !txtPrefixAutoAdd->isEnabled() &&
                              !lvwChoosedFields->isEnabled();
            switch (input) {
            case Input::StopButton:
                QTest::mouseClick(cmdStart, Qt::LeftButton);
                break;
            case Input::Escape:
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
                break;
            case Input::CloseBox:
                w->close();
                break;
            }
        });
        boxes.expect(MsgAnswer::Yes); // cancel?
        boxes.expect(MsgAnswer::Yes); // roll back the open batch?
        cmdStart->click();
        EXPECT_TRUE(lockedDuringRun);
        EXPECT_EQ(boxes.pending(), 0);
        EXPECT_TRUE(w->lastRun().stopped);
        EXPECT_TRUE(w->lastRun().rolledBack);
        EXPECT_LT(w->lastRun().processed, w->lastRun().total);
        EXPECT_EQ(w->isVisible(), staysOpen);
        EXPECT_EQ(cmdStart->text(), u"Start"_s);
        EXPECT_TRUE(cmdClose->isEnabled());
    }
}

} // namespace
