// The results view on many values (the offscreen platform). First a window run over a demo
// database whose summary box asks for the results: the run's time and values told, and the time
// to open the view. Then made-up rows, 400,000 of short values and some of long ones (100,000
// characters, kept in the temporary file): memory, time to open the view, to filter by an
// outcome, to search all cells, to sort by the value, to copy all rows, to save the report.
//
//   results_view_bench FILE.vdb [records per table=10000] [long rows=20000]

#include "Application.h"
#include "BenchSupport.h"
#include "DemoGenerator.h"
#include "MessageBoxes.h"
#include "ResultsModel.h"
#include "ResultsView.h"
#include "SettingsStore.h"
#include "VdbServer.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>

#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QTableView>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

// "Results" on the summary, No to every other question.
class ResultsBoxes : public MessageBoxes {
public:
    MsgAnswer show(const MessageBoxRequest& request) override {
        if (request.buttons == MsgButtons::Ok)
            return MsgAnswer::Ok;
        return request.extraButton.isEmpty() ? MsgAnswer::No : MsgAnswer::Extra;
    }
};

double openView(QWidget* parent, const std::function<void()>& open) {
    const Stopwatch watch;
    open();
    auto* view = parent->findChild<ResultsView*>();
    QApplication::processEvents();
    const double seconds = watch.seconds();
    delete view;
    return seconds;
}

// Resident memory of this process now, in MiB.
double memoryMiB() {
    QFile statm(u"/proc/self/statm"_s);
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    return double(statm.readAll().split(' ').value(1).toLongLong()) * 4096.0 / 1048576.0;
}

void benchRows(MessageBoxes& boxes, const QString& folder, int rows, qsizetype length) {
    const double before = memoryMiB();
    RunResults results;
    const Stopwatch fill;
    // A long note, as a memo field holds one.
    const QString filler = u"; Notiz: bitte zurückrufen"_s.repeated(length / 26 + 1).left(length);
    for (int i = 0; i < rows; ++i) {
        const auto reason = i % 4 == 0 ? Unreadable(i % kRowReasons) : Unreadable::Converted;
        const QString number = QString::number(1000000 + i);
        results.add(UnreadableValue{
            i % 3 == 0 ? u"Kunden"_s : u"Ansprechpartner"_s, QString::number(100000 + i / 3),
            u"Kundin Nr. "_s + QString::number(i / 3), u"Telefon"_s, u"030 "_s + number + filler,
            reason, reason == Unreadable::Converted ? u"+49 (30) "_s + number : QString()});
    }
    results.squeeze();
    std::printf("%d rows of %lld characters: filled in %.3f s, %.1f MiB held (%.0f bytes a row, "
                "texts included), the process grew by %.0f MiB\n",
                rows, qlonglong(length + 11), fill.seconds(), double(results.bytes()) / 1048576.0,
                double(results.bytes()) / rows, memoryMiB() - before);
    QWidget parent;
    ResultsActions actions;
    actions.chooseSavePath = [&folder](QWidget*, const QString&, const QString&) -> QString {
        return folder + u"/report.csv"_s;
    };
    ResultsView* view = nullptr;
    const double open = openView(&parent, [&] {
        view = new ResultsView(results, boxes, actions, &parent);
        view->show();
    });
    view = new ResultsView(results, boxes, actions, &parent);
    view->show();
    const Stopwatch filter;
    view->cboOutcome_Click(1);
    const double filterSeconds = filter.seconds();
    const int filtered = view->model().rowCount();
    const Stopwatch search;
    view->findChild<QLineEdit*>(u"txtSearch"_s)->setText(u"Nr. 12345"_s);
    const double searchSeconds = search.seconds();
    const int found = view->model().rowCount();
    view->findChild<QLineEdit*>(u"txtSearch"_s)->clear();
    view->cboOutcome_Click(0);
    const Stopwatch sort;
    view->findChild<QTableView*>(u"tblValues"_s)
        ->horizontalHeader()
        ->setSortIndicator(ResultsModel::ValueColumn, Qt::DescendingOrder);
    const double sortSeconds = sort.seconds();
    const Stopwatch copy;
    view->cmdCopy_Click();
    const double copySeconds = copy.seconds();
    const qsizetype copied = QGuiApplication::clipboard()->text().size();
    QGuiApplication::clipboard()->clear();
    const Stopwatch save;
    view->cmdSave_Click();
    const double saveSeconds = save.seconds();
    std::printf("view: opened in %.3f s, filtered by outcome in %.3f s (%d rows), searched in "
                "%.3f s (%d rows), sorted by value in %.3f s, all rows copied in %.3f s (%lld "
                "characters; 0: refused as too large), report saved in %.3f s (%.0f MiB); the "
                "process grew by %.0f MiB\n",
                open, filterSeconds, filtered, searchSeconds, found, sortSeconds, copySeconds,
                qlonglong(copied), saveSeconds,
                double(QFileInfo(folder + u"/report.csv"_s).size()) / 1048576.0,
                memoryMiB() - before);
    QFile::remove(folder + u"/report.csv"_s);
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: results_view_bench FILE.vdb [records per table]\n");
        return 2;
    }
    const QString path = QString::fromLocal8Bit(argv[1]);
    createDemoDatabase(path, DemoOptions{argc > 2 ? std::atoll(argv[2]) : 10000, 1});
    QTemporaryDir settingsDir;
    SettingsStore settings(settingsDir.path());
    ResultsBoxes boxes;
    Application application(settings, boxes);
    DatabasePtr database = VdbServer().OpenDatabase(path, u"ADMIN"_s, u"admin"_s, 0);
    application.UseDatabase(database);
    FMain* window = application.window();
    window->AutoAddFields(u"Telef"_s);
    auto* start = window->findChild<QPushButton*>(u"cmdStart"_s);
    const Stopwatch run;
    start->click();
    const double runSeconds = run.seconds();
    delete window->findChild<ResultsView*>();
    const double viewSeconds = openView(window, [window] { window->showResults(); });
    std::printf("window run: %d records, %lld values told, %.2f s with the view; the view "
                "opens in %.3f s\n",
                window->lastRun().processed, qlonglong(window->lastResults().size()), runSeconds,
                viewSeconds);
    delete window;

    benchRows(boxes, settingsDir.path(), 400000, 0);
    benchRows(boxes, settingsDir.path(), argc > 3 ? std::atoi(argv[3]) : 20000, 100000);
    return 0;
}
