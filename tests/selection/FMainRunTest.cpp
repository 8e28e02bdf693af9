// The main window's runs: start, preview, stop, and what is refused before a run.
#include "FMainTestSupport.h"

#include "TestProcess.h"

#include <QCheckBox>
#include <QComboBox>
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
    // A second run appends to the same log; spacing is rewritten only once the box is ticked,
    // which the next window remembers.
    VdbFixture::insert(file, u"Kunden"_s, {u"ID"_s, u"Telefon"_s}, {{u"2"_s, u"+49 30 7654321"_s}});
    boxes.expect(MsgAnswer::No);
    cmdStart->click();
    EXPECT_EQ(w->lastRun().converted, 0);
    EXPECT_EQ(w->changeLog().path(), viewed[0]);
    QTest::mouseClick(child<QCheckBox>(w.get(), "chkUniform"), Qt::LeftButton);
    boxes.expect(MsgAnswer::No);
    cmdStart->click();
    EXPECT_EQ(w->lastRun().converted, 1);
    EXPECT_TRUE(child<QCheckBox>(load().get(), "chkUniform")->isChecked());
}

// The user's stop keeps what the run stored or undoes it from the journal, and ends with the
// summary and the log offer of a whole run.
TEST_F(FMainTest, StopByButtonEscOrCloseBoxKeepsOrUndoesTheRun) {
    QList<QVariantList> rows;
    for (int id = 1; id <= 120; ++id)
        rows << QVariantList{id, u"030 1234567"_s};
    VdbFixture::insert(file, u"Kunden"_s, {u"ID"_s, u"Telefon"_s}, rows);
    enum class Input { StopButton, Escape, CloseBox };
    // clang-format off
    const struct { Input input; MsgAnswer undo; bool staysOpen; } cases[] = {
        {Input::StopButton, MsgAnswer::Yes, true},
        {Input::CloseBox, MsgAnswer::Yes, false}, // the window closes once the run has stopped
        {Input::Escape, MsgAnswer::No, true}, // last: the values it keeps stay converted
    };
    // clang-format on
    for (const auto& [input, undo, staysOpen] : cases) {
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
        boxes.expect(undo);
        boxes.expect(MsgAnswer::No); // show log?
        cmdStart->click();
        EXPECT_TRUE(lockedDuringRun);
        const std::vector<MessageBoxRequest>& shown = boxes.shown();
        ASSERT_GE(shown.size(), 3u);
        EXPECT_EQ(shown[shown.size() - 3].text,
                  u"10 of 120 records are checked; if you stop, the others stay as they "
                  "are.\r\nDo you want to cancel?"_s);
        EXPECT_EQ(shown[shown.size() - 2].text, u"10 values in this run are stored; undo them?"_s);
        const QString summary = u"10 record(s) converted.\r\nThat is 10 value(s) in 10 "
                                "record(s).\r\n0 value(s) could not be stored"_s;
        EXPECT_TRUE(shown.back().text.startsWith(summary)) << shown.back().text.toStdString();
        EXPECT_TRUE(shown.back().text.endsWith(u"Show log?"_s));
        EXPECT_TRUE(lblStatus->text().startsWith(u"10 record(s) converted."_s));
        const RunResult& run = w->lastRun();
        EXPECT_TRUE(run.stopped && !run.rolledBack);
        EXPECT_EQ(run.converted, 10);
        EXPECT_EQ(run.putBack, undo == MsgAnswer::Yes ? 10 : 0);
        EXPECT_EQ(storedValues(file, u"Kunden"_s, u"Telefon"_s).count(u"030 1234567"_s),
                  undo == MsgAnswer::Yes ? 120 : 110);
        const QByteArray log = readFile(w->changeLog().path());
        EXPECT_TRUE(log.contains("\r\nStopped by the user.\r\n"));
        EXPECT_FALSE(log.contains("rolled back"));
        EXPECT_EQ(log.contains("undone from its journal"), undo == MsgAnswer::Yes);
        EXPECT_EQ(w->isVisible(), staysOpen);
        EXPECT_EQ(cmdStart->text(), u"Start"_s);
        EXPECT_TRUE(cmdClose->isEnabled());
    }
}

} // namespace

// Off until chosen; the choice follows the chosen rows' table and is remembered per database.
TEST_F(FMainTest, CountryFieldReadsForeignRecordsAndIsRemembered) {
    const QString intl = fx.create(
        u"intl.vdb"_s, schemaOf({tableOf(u"Kunden"_s, {u"ID"_s, u"Telefon"_s, u"Land"_s})}));
    VdbFixture::insert(intl, u"Kunden"_s, {u"ID"_s, u"Telefon"_s, u"Land"_s},
                       {{u"1"_s, u"01 42 68 53 00"_s, u"FR"_s}});
    const auto open = [&] {
        auto w = load(VdbFixture::open(intl));
        auto* cbo = child<QComboBox>(w.get(), "cboCountryField");
        return std::pair{std::move(w), cbo};
    };
    auto [w, cbo] = open();
    EXPECT_EQ(cbo->currentText(), u"(none)"_s);
    EXPECT_EQ(child<QLabel>(w.get(), "lblCountryHint")->text(),
              u"The field Land seems to name the country."_s);
    boxes.expect(MsgAnswer::No);
    cmdStart->click();
    EXPECT_EQ(storedValues(intl, u"Kunden"_s, u"Telefon"_s)[0], u"01 42 68 53 00"_s);
    QTest::keyClick(cbo, Qt::Key_L);
    boxes.expect(MsgAnswer::No);
    cmdStart->click();
    EXPECT_EQ(storedValues(intl, u"Kunden"_s, u"Telefon"_s)[0], u"+33 (1) 42685300"_s);
    {
        // Another database remembers its own; the choice shows the current chosen row's table.
        const auto firm = load();
        auto* other = child<QComboBox>(firm.get(), "cboCountryField");
        EXPECT_EQ(other->currentText(), u"(none)"_s);
        lvwChoosedFields->setCurrentItem(lvwChoosedFields->topLevelItem(2)); // Lieferanten
        EXPECT_EQ(child<QLabel>(firm.get(), "lblCountryField")->text(),
                  u"Lieferanten, country from field:"_s);
        EXPECT_EQ(other->count(), 3); // (none) and the text fields the run does not convert
    }
    std::tie(w, cbo) = open();
    EXPECT_EQ(cbo->currentText(), u"Land"_s);
    QTest::keyClick(cbo, Qt::Key_Home);
    EXPECT_EQ(open().second->currentText(), u"(none)"_s);
}
