#include "AutomationMain.h"

#include "Application.h"
#include "AutomationServer.h"
#include "CurrentDatabase.h"
#include "FMain.h"
#include "MessageBoxes.h"
#include "RunUnderWay.h"

#include <QApplication>
#include <QDBusError>
#include <QTimer>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

// For tests of the whole chain: with TELNORMER_AUTOMATION_TEST_START set, every window a host
// opens is reported on standard error, and with a PREFIX as its value it chooses the fields
// beginning with PREFIX and presses Start; the boxes are answered on standard error (questions
// Yes, "show log?" No) since no one sits at the offscreen display.
// TELNORMER_AUTOMATION_TEST_RUN_WAIT_MS then shortens how long a UseDatabase call waits for a run.
class PrintingMessageBoxes : public MessageBoxes {
public:
    MsgAnswer show(const MessageBoxRequest& request) override {
        MsgAnswer answer = MsgAnswer::Ok;
        if (request.buttons == MsgButtons::YesNo)
            answer = request.icon == MsgIcon::Information ? MsgAnswer::No : MsgAnswer::Yes;
        std::fprintf(stderr, "message box: %s\n",
                     QString(request.text).replace(u"\r\n"_s, u" | "_s).toLocal8Bit().constData());
        return answer;
    }
};

bool windowOpen() {
    const QWidgetList windows = QApplication::topLevelWidgets();
    return std::any_of(windows.cbegin(), windows.cend(),
                       [](const QWidget* w) { return w->isVisible(); });
}

} // namespace

int runAutomation(SettingsStore& settings, MessageBoxes& desktopBoxes) {
    const QString testPrefix = qEnvironmentVariable("TELNORMER_AUTOMATION_TEST_START");
    const bool testStart = qEnvironmentVariableIsSet("TELNORMER_AUTOMATION_TEST_START");
    PrintingMessageBoxes printingBoxes;
    MessageBoxes& boxes = testStart ? static_cast<MessageBoxes&>(printingBoxes) : desktopBoxes;

    // Closing the last window must not end the process while a host holds objects.
    QApplication::setQuitOnLastWindowClosed(false);
    AutomationServer::Hooks hooks;
    hooks.makeApplication = [&settings, &boxes] {
        return std::make_unique<Application>(settings, boxes);
    };
    hooks.windowOpen = windowOpen;
    hooks.runUnderWay = RunUnderWay::underWay;
    if (testStart && qEnvironmentVariableIsSet("TELNORMER_AUTOMATION_TEST_RUN_WAIT_MS"))
        hooks.runWaitMs = qEnvironmentVariableIntValue("TELNORMER_AUTOMATION_TEST_RUN_WAIT_MS");
    if (testStart)
        hooks.afterUseDatabase = [testPrefix](Application& application) {
            const QWidgetList windows = QApplication::topLevelWidgets();
            const auto open = std::count_if(windows.cbegin(), windows.cend(), [](QWidget* w) {
                return qobject_cast<FMain*>(w) && w->isVisible();
            });
            std::fprintf(stderr, "window shown: %d open, current database %s\n",
                         static_cast<int>(open), gDatabase->FileName().toLocal8Bit().constData());
            if (testPrefix.isEmpty())
                return;
            QPointer<FMain> window = application.window();
            QTimer::singleShot(0, window, [window, testPrefix] {
                window->AutoAddFields(testPrefix);
                window->cmdStart_Click();
            });
        };
    AutomationServer server(QDBusConnection::sessionBus(), std::move(hooks));
    if (!server.start()) {
        std::fprintf(stderr,
                     "telnormer: cannot serve com.veltrano.Telnormer on the session bus: %s\n",
                     QDBusConnection::sessionBus().lastError().message().toLocal8Bit().constData());
        return 1;
    }
    server.quitWhenIdle(2000, 30000);
    return QApplication::exec();
}
