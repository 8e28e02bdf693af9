// The results view after a run: counts, filter, search, copy, the saved report, the undo.
#include "FMainTestSupport.h"

#include "ChangeLog.h"
#include "OutcomeChart.h"
#include "ResultsModel.h"
#include "ResultsView.h"
#include "RunReport.h"
#include "Sqlite.h"
#include "TelnormerBatch.h"
#include "TestProcess.h"

#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QTableView>
#include <QTimer>

#include <csignal>
#include <sys/resource.h>

using namespace Qt::StringLiterals;

namespace {

QStringList barsOf(const OutcomeChart* chart) {
    QStringList bars;
    for (const OutcomeChart::Bar& bar : chart->bars())
        bars << bar.label + u'=' + QString::number(bar.count);
    return bars;
}

void clickBar(OutcomeChart* chart, int line) {
    const int height = chart->fontMetrics().height() + 6;
    QTest::mouseClick(chart, Qt::LeftButton, {}, QPoint(20, 2 + line * height + height / 2));
}

TEST_F(FMainTest, ResultsViewCountsFiltersSavesAndUndoesTheRun) {
    const QString mixed = fx.create(u"mixed.vdb"_s, schemaOf({customersTable()}));
    VdbFixture::insert(mixed, u"Kunden"_s, {u"ID"_s, u"Name"_s, u"Telefon"_s, u"Telefax"_s},
                       {{1, u"Meier"_s, u"030 1234567"_s, u"040 76543210-99"_s}, // too long
                        {2, u"Huber"_s, u"12.03.2024"_s, {}},
                        {3, u"@Graf"_s, u"030 1234567 oder 040 7654321"_s, {}},
                        {4, u"Wolf"_s, u"+49 30 7654321"_s, {}},
                        {5, u"=Fox"_s, u"0211 961814"_s, {}},
                        {6, u"Lang"_s, QString(u"030 "_s + QString(300000, u'7')), {}}});
    const QString twin = fx.path(u"twin.vdb"_s);
    ASSERT_TRUE(QFile::copy(mixed, twin));
    QString savePath;
    RunEnvironment environment;
    environment.chooseSavePath = [&savePath](QWidget*, const QString&, const QString&) {
        return savePath;
    };
    const auto w = load(VdbFixture::open(mixed), environment);
    w->show();
    boxes.expect(MsgAnswer::Extra); // the summary's Results button
    cmdStart->click();
    EXPECT_TRUE(boxes.last().extraButton == u"&Results"_s);
    auto* view = w->findChild<ResultsView*>();
    ASSERT_NE(view, nullptr);
    EXPECT_TRUE(view->isVisible());
    auto* chart = child<OutcomeChart>(view, "chtOutcomes");
    EXPECT_EQ(barsOf(chart), (QStringList{u"converted=2"_s, u"refused by a condition=1"_s,
                                          u"not a number=1"_s, u"unreadable: two numbers=1"_s,
                                          u"unreadable: too long=1"_s, u"layout only=1"_s}));
    const RunResult& run = w->lastRun();
    EXPECT_EQ(run.converted, 2);
    EXPECT_EQ(run.notStored, 1);
    EXPECT_EQ(run.unreadable, 3);

    // Filter by a click on a bar, then search: the rows narrow; the copy takes whole cells.
    auto* table = child<QTableView>(view, "tblValues");
    auto* search = child<QLineEdit>(view, "txtSearch");
    clickBar(chart, 0);
    EXPECT_EQ(table->model()->rowCount(), 2);
    QTest::keyClicks(search, u"fox"_s);
    ASSERT_EQ(table->model()->rowCount(), 1);
    table->selectRow(0);
    QTest::mouseClick(child<QPushButton>(view, "cmdCopy"), Qt::LeftButton);
    EXPECT_EQ(QGuiApplication::clipboard()->text(),
              u"Kunden\t=Fox\tTelefon\t0211 961814\t+49 (211) 961814\n"_s);
    // A huge value is cut for the eye only: the report below keeps it whole.
    search->clear();
    clickBar(chart, 4);
    EXPECT_EQ(table->model()->index(0, 3).data().toString().size(), 301);
    clickBar(chart, 1);
    EXPECT_EQ(table->model()->rowCount(), 1);
    EXPECT_EQ(table->model()->index(0, 4).data().toString(),
              u"refused by the field's condition: length(\"Telefax\") <= 16"_s);

    // The saved report is the batch program's, byte for byte; a link at the path is replaced,
    // never followed, and the database is no place for it.
    const QString batchReport = fx.path(u"batch.csv"_s);
    {
        const ScopedEnv password("VDB_PASSWORD", "admin");
        const ProcessResult batch =
            runCaptured([&](QTextStream& in, QTextStream& out, QTextStream& err) {
                ToolIo io{in, out, err};
                return runTelnormerBatch({twin, u"--user"_s, u"ADMIN"_s, u"--prefix"_s, u"Telef"_s,
                                          u"--report"_s, batchReport},
                                         io);
            });
        ASSERT_EQ(batch.status, BatchStatus::Done) << batch.err.toStdString();
    }
    const QString victim = fx.path(u"victim.txt"_s);
    writeFile(victim, "kept");
    savePath = fx.path(u"report.csv"_s);
    ASSERT_TRUE(QFile::link(victim, savePath));
    QTest::mouseClick(child<QPushButton>(view, "cmdSave"), Qt::LeftButton);
    EXPECT_EQ(readFile(savePath), readFile(batchReport));
    EXPECT_TRUE(readFile(savePath).contains(",'@Graf,"));
    EXPECT_TRUE(readFile(savePath).contains(QString(300000, u'7').toLatin1()));
    EXPECT_FALSE(QFileInfo(savePath).isSymLink());
    EXPECT_EQ(readFile(victim), "kept");
    savePath = mixed;
    boxes.expect(MsgAnswer::Ok);
    QTest::mouseClick(child<QPushButton>(view, "cmdSave"), Qt::LeftButton);
    EXPECT_TRUE(boxes.last().text.startsWith(u"The report was not saved."_s));

    // Another connection changes a converted value: the undo leaves it and lists it.
    {
        const TablePtr t = VdbFixture::open(mixed)->Tables()->Item(u"Kunden"_s);
        t->MoveFirst(0);
        t->Skip(4, 0);
        t->Fields()->Item(u"Telefon"_s)->SetValue(u"+49 (211) 999999"_s);
        t->Update(0);
    }
    SqliteConnection other; // and deletes a record whose value the run converted
    ASSERT_EQ(other.open(mixed, SQLITE_OPEN_READWRITE), SQLITE_OK);
    other.exec(u"DELETE FROM \"Kunden\" WHERE \"ID\" = 1"_s);
    auto* undo = child<QPushButton>(view, "cmdUndo");
    // A journal put in the place of the run's own is not read, however alike.
    const QString journal = w->lastRun().journal;
    ASSERT_TRUE(QFile::rename(journal, journal + u"~"_s) && QFile::copy(journal + u"~"_s, journal));
    boxes.expect(MsgAnswer::Yes); // put back?
    boxes.expect(MsgAnswer::Ok);
    QTest::mouseClick(undo, Qt::LeftButton);
    EXPECT_TRUE(boxes.last().text.endsWith(u"is not the file the run wrote"_s));
    ASSERT_TRUE(QFile::remove(journal) && QFile::rename(journal + u"~"_s, journal));
    boxes.expect(MsgAnswer::Yes); // put back?
    boxes.expect(MsgAnswer::No);  // the undo's summary: show log?
    QTest::mouseClick(undo, Qt::LeftButton);
    EXPECT_EQ(storedValues(mixed, u"Kunden"_s, u"Telefon"_s),
              (QStringList{u"12.03.2024"_s, u"030 1234567 oder 040 7654321"_s, u"+49 30 7654321"_s,
                           u"+49 (211) 999999"_s, u"030 "_s + QString(300000, u'7')}));
    EXPECT_TRUE(barsOf(chart).contains(u"changed since the run, not put back=2"_s));
    clickBar(chart, 6);
    ASSERT_EQ(table->model()->rowCount(), 2);
    EXPECT_EQ(table->model()->index(0, 3).data().toString(), u"+49 (211) 999999"_s);
    EXPECT_EQ(table->model()->index(1, 1).data().toString(), u"1"_s); // gone: its key
    // Once only: the button is gone for this run.
    EXPECT_FALSE(undo->isEnabled());
    view->close();
}

// A preview's results: the same view without an undo; a report that cannot be written says why,
// and the next run's results replace the last ones.
TEST_F(FMainTest, PreviewResultsOfferNoUndoAndAFailedSaveSaysWhy) {
    VdbFixture::insert(file, u"Kunden"_s, {u"ID"_s, u"Telefon"_s, u"TELEFAX"_s},
                       {{1, u"030 1234567"_s, u"1.234.567"_s}, {2, u"030 7654321"_s, {}}});
    QString savePath;
    RunEnvironment environment;
    environment.chooseSavePath = [&savePath](QWidget*, const QString&, const QString&) {
        return savePath;
    };
    const auto w = load({}, environment);
    w->show();
    boxes.expect(MsgAnswer::Extra);
    cmdPreview->click();
    auto* view = w->findChild<ResultsView*>();
    ASSERT_NE(view, nullptr);
    EXPECT_FALSE(child<QPushButton>(view, "cmdUndo")->isVisible());
    EXPECT_EQ(barsOf(child<OutcomeChart>(view, "chtOutcomes")).mid(0, 3),
              (QStringList{u"converted=2"_s, u"refused by a condition=0"_s, u"not a number=1"_s}));
    QTest::keyClicks(child<QLineEdit>(view, "txtSearch"), u"7654"_s);
    EXPECT_EQ(child<QTableView>(view, "tblValues")->model()->rowCount(), 1);
    QTest::mouseClick(child<QPushButton>(view, "cmdSave"), Qt::LeftButton); // cancelled
    savePath = fx.folder();                                                 // a folder is no report
    boxes.expect(MsgAnswer::Ok);
    QTest::mouseClick(child<QPushButton>(view, "cmdSave"), Qt::LeftButton);
    EXPECT_TRUE(boxes.last().text.startsWith(u"The report was not saved.\r\ncannot write"_s))
        << boxes.last().text.toStdString();
    view->close();
    boxes.expect(MsgAnswer::No);
    cmdStart->click();
    EXPECT_EQ(w->lastResults().count(Outcome::Converted), 2);
    EXPECT_EQ(w->lastResults().size(), 3);
}

// A stopped undo says so and can be begun again; what was changed since is listed once.
TEST_F(FMainTest, StoppedUndoSaysSoAndBeginsAgain) {
    VdbFixture::insert(file, u"Kunden"_s, {u"ID"_s, u"Telefon"_s},
                       {{1, u"030 1234567"_s}, {2, u"030 1234567"_s}});
    const auto w = load();
    w->show();
    boxes.expect(MsgAnswer::Extra);
    cmdStart->click();
    auto* view = w->findChild<ResultsView*>();
    ASSERT_NE(view, nullptr);
    SqliteConnection other;
    ASSERT_EQ(other.open(file, SQLITE_OPEN_READWRITE), SQLITE_OK);
    other.exec(u"UPDATE \"Kunden\" SET \"Telefon\" = 'x' WHERE \"ID\" = 1"_s);
    for (const auto& answers : {QList{MsgAnswer::Yes, MsgAnswer::Yes, MsgAnswer::No},
                                QList{MsgAnswer::Yes, MsgAnswer::No}}) {
        const bool stop = answers.size() == 3; // put back? (cancel?) show log?
        if (stop) // the window's close box during the undo asks it to stop; it closes after
            QTimer::singleShot(0, view, [&w] { w->close(); });
        for (const MsgAnswer answer : answers)
            boxes.expect(answer);
        QTest::mouseClick(child<QPushButton>(view, "cmdUndo"), Qt::LeftButton);
        EXPECT_EQ(storedValues(file, u"Kunden"_s, u"Telefon"_s)[1] == u"030 1234567"_s, !stop);
        EXPECT_EQ(child<QPushButton>(view, "cmdUndo")->isEnabled(), stop);
        EXPECT_EQ(child<QLabel>(view, "lblNote")->text().startsWith(u"The undo did not finish"_s),
                  stop);
        EXPECT_EQ(w->lastResults().count(Outcome::Conflict), 1);
        QApplication::processEvents();
        EXPECT_EQ(w->isHidden(), stop);
        w->show();
        view->show();
    }
}

// Long values live in an unnamed temporary file: every unit comes back for the report, copies and
// the search, also across the pieces the search reads; a file that cannot take them says so.
TEST_F(FMainTest, LongResultValuesComeBackWholeOrSayTheyAreCut) {
    const QString tail = u"\0\xD800\n;"_s; // NUL, half a pair
    const auto long_ = [&tail](int length, QChar fill) -> QString {
        return QString(length, fill) + tail;
    };
    const QList<UnreadableValue> values{
        {u"Kunden"_s, u"1"_s, u"Graf"_s, u"Telefon"_s,
         u"030 "_s + QString((1 << 20) - 7, u'7') + u"NeedLe"_s + tail, Unreadable::TooLong},
        {u"Kunden"_s, u"2"_s, long_(400, u'\u00e4'), u"Telefon"_s, long_(302, u'1'),
         Unreadable::Converted, long_(5000, u'2')},
        {u"Kunden"_s, u"3"_s, {}, u"Fax"_s, u"=040 1"_s, Unreadable::LayoutOnly, u"+49 40 1"_s}};
    RunResults results;
    RunResults other; // another window's, at the same time
    for (const UnreadableValue& value : values) {
        other.add({u"T"_s, u"9"_s, {}, u"F"_s, long_(900, u'9'), Unreadable::TooLong});
        results.add(value);
    }
    results.truncate(1); // an undo begun again drops its rows and their room in the file
    results.addAll(values.mid(1));
    for (qsizetype row = 0; row < values.size(); ++row) {
        UnreadableValue read;
        QString error;
        ASSERT_TRUE(results.at(row, read, error)) << error.toStdString();
        EXPECT_TRUE(read.label == values[row].label && read.value == values[row].value &&
                    read.detail == values[row].detail)
            << row;
        ASSERT_TRUE(other.at(row, read, error));
        EXPECT_EQ(read.value, long_(900, u'9'));
    }
    for (const auto& [search, rows] : {std::pair{u"needle"_s, QList<quint32>{0}},
                                       {u"7NEED"_s, {0}}, // the needle crosses a piece's border
                                       {QString(400, u'\u00c4'), {1}},
                                       {QString(401, u'\u00c4'), {}},
                                       {u"222"_s + tail, {1}}})
        EXPECT_EQ(results.select(~0u, search), rows) << search.left(10).toStdString();

    QString savePath = fx.path(u"report.csv"_s);
    ResultsActions actions;
    actions.chooseSavePath = [&savePath](QWidget*, const QString&, const QString&) {
        return savePath;
    };
    ResultsView view(results, boxes, actions);
    view.cmdSave_Click();
    RunReport expected;
    ASSERT_TRUE(expected.open(fx.path(u"expected.csv"_s), {}));
    expected.add(values[0]);
    expected.add(values[2]);
    ASSERT_TRUE(expected.commit());
    EXPECT_EQ(readFile(savePath), readFile(fx.path(u"expected.csv"_s)));
    // Sorted by the value, searched, copied: whole cells.
    auto* table = child<QTableView>(&view, "tblValues");
    table->horizontalHeader()->setSortIndicator(ResultsModel::ValueColumn, Qt::DescendingOrder);
    EXPECT_EQ(table->model()->index(0, 1).data().toString(), u"3"_s); // "=040 1" first
    for (const QString& typed : {u"\u00e4"_s, u"\u00e4\u00c4"_s})     // typing on narrows
        child<QLineEdit>(&view, "txtSearch")->setText(typed);
    ASSERT_EQ(table->model()->rowCount(), 1);
    view.cmdCopy_Click();
    const QStringList cells{u"Kunden"_s, ChangeLog::visible(values[1].label), u"Telefon"_s,
                            ChangeLog::visible(values[1].value),
                            ChangeLog::visible(values[1].detail)};
    EXPECT_EQ(QGuiApplication::clipboard()->text(), cells.join(u'\t') + u'\n');
    EXPECT_FALSE(child<QLabel>(&view, "lblCut")->isVisibleTo(&view));

    // No room for the file (a file-size limit here): the value is held cut, and the view and the
    // save say so; the report is saved only when the user wants it cut.
    RunResults cut;
    rlimit limit{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &limit), 0);
    const auto oldSignal = std::signal(SIGXFSZ, SIG_IGN);
    const rlimit tiny{4096, limit.rlim_max};
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &tiny), 0);
    cut.add(values[0]);
    ::setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, oldSignal);
    EXPECT_EQ(cut.cutValues(), 1);
    ResultsView cutView(cut, boxes, actions);
    EXPECT_TRUE(child<QLabel>(&cutView, "lblCut")->isVisibleTo(&cutView));
    EXPECT_TRUE(child<QLabel>(&cutView, "lblCut")
                    ->text()
                    .startsWith(u"1 value(s) are held cut short, as the temporary file for long "
                                u"values could not be "
                                "written (File too large)"_s));
    savePath = fx.path(u"cut.csv"_s);
    for (const MsgAnswer answer : {MsgAnswer::No, MsgAnswer::Yes}) {
        boxes.expect(answer);
        cutView.cmdSave_Click();
        EXPECT_TRUE(boxes.last().text.startsWith(u"The report would hold 1 value(s) cut short"_s));
        EXPECT_EQ(QFileInfo::exists(savePath), answer == MsgAnswer::Yes);
    }
    EXPECT_TRUE(
        readFile(savePath).contains(QByteArray(",030 ")
                                        .append(QByteArray(RunResults::kHeldLength - 4, '7'))
                                        .append(",too-long")));
}

} // namespace
