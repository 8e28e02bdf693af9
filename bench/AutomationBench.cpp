// The conversion run of a main window that Application::UseDatabase opened in-process on a demo
// database (the offscreen platform): prints records/s. automation_bench.py runs it beside the
// same run through the bus.
//
//   automation_bench FILE.vdb [records per table=10000]

#include "Application.h"
#include "BenchSupport.h"
#include "DemoGenerator.h"
#include "MessageBoxes.h"
#include "SettingsStore.h"
#include "VdbServer.h"

#include <QApplication>
#include <QTemporaryDir>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

// Nobody at the offscreen display: "show log?" is answered No, any other question Yes.
class AnsweringBoxes : public MessageBoxes {
public:
    MsgAnswer show(const MessageBoxRequest& request) override {
        if (request.buttons == MsgButtons::Ok)
            return MsgAnswer::Ok;
        return request.icon == MsgIcon::Information ? MsgAnswer::No : MsgAnswer::Yes;
    }
};

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: automation_bench FILE.vdb [records per table]\n");
        return 2;
    }
    const QString path = QString::fromLocal8Bit(argv[1]);
    const qint64 records = argc > 2 ? std::atoll(argv[2]) : 10000;
    createDemoDatabase(path, DemoOptions{records, 1});
    QTemporaryDir settingsDir;
    SettingsStore settings(settingsDir.path());
    AnsweringBoxes boxes;
    Application application(settings, boxes);
    DatabasePtr database = VdbServer().OpenDatabase(path, u"ADMIN"_s, u"admin"_s, 0);
    application.UseDatabase(database);
    FMain* window = application.window();
    window->AutoAddFields(u"Telef"_s);
    const Stopwatch watch;
    window->cmdStart_Click();
    std::printf("in-process:      %.0f records/s (%lld records per table, 3 tables)\n",
                static_cast<double>(3 * records) / watch.seconds(),
                static_cast<long long>(records));
    delete window;
    return 0;
}
