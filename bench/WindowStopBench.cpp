// The user's stop with "undo the run" in a main window on a demo database (the offscreen
// platform): the run is stopped after some seconds, the stored values are undone from its
// journal, and the bench prints how many and how long the undo took.
//
//   window_stop_bench FILE.vdb [records per table=100000] [seconds before the stop=5]

#include "Application.h"
#include "BenchSupport.h"
#include "DemoGenerator.h"
#include "MessageBoxes.h"
#include "SettingsStore.h"
#include "VdbServer.h"

#include <QApplication>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

// Yes to "cancel?" and "undo?", No to "show log?"; the moment of "undo?" is kept.
class StoppingBoxes : public MessageBoxes {
public:
    MsgAnswer show(const MessageBoxRequest& request) override {
        std::printf("box: %s\n", qPrintable(QString(request.text).replace(u"\r\n"_s, u" | "_s)));
        if (request.text.endsWith(u"undo them?"_s))
            undoAsked.emplace();
        if (request.buttons == MsgButtons::Ok)
            return MsgAnswer::Ok;
        return request.icon == MsgIcon::Information ? MsgAnswer::No : MsgAnswer::Yes;
    }
    std::optional<Stopwatch> undoAsked;
};

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: window_stop_bench FILE.vdb [records per table] [seconds]\n");
        return 2;
    }
    const QString path = QString::fromLocal8Bit(argv[1]);
    const qint64 records = argc > 2 ? std::atoll(argv[2]) : 100000;
    const int stopAfterMs = (argc > 3 ? std::atoi(argv[3]) : 5) * 1000;
    createDemoDatabase(path, DemoOptions{records, 1});
    QTemporaryDir settingsDir;
    SettingsStore settings(settingsDir.path());
    StoppingBoxes boxes;
    Application application(settings, boxes);
    DatabasePtr database = VdbServer().OpenDatabase(path, u"ADMIN"_s, u"admin"_s, 0);
    application.UseDatabase(database);
    FMain* window = application.window();
    window->AutoAddFields(u"Telef"_s);
    auto* stop = window->findChild<QPushButton*>(u"cmdStart"_s);
    QTimer::singleShot(stopAfterMs, window, [stop] { stop->click(); });
    const Stopwatch watch;
    stop->click();
    const RunResult& run = window->lastRun();
    std::printf("run stopped after %.1f s: %d of %d records checked, %d values stored\n",
                watch.seconds() - (boxes.undoAsked ? boxes.undoAsked->seconds() : 0.0),
                run.processed, run.total, run.converted);
    if (boxes.undoAsked)
        std::printf("undo: %d values put back, %d conflict(s), %.1f s\n", run.putBack,
                    run.conflicts, boxes.undoAsked->seconds());
    delete window;
    return 0;
}
