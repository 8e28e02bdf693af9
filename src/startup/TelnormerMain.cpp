// The telnormer program: login, then the main window; the process ends with its last window.
#include "AutomationMain.h"
#include "CurrentDatabase.h"
#include "DatabaseServer.h"
#include "FMain.h"
#include "Icons.h"
#include "QtMessageBoxes.h"
#include "QtTranslations.h"
#include "SettingsStore.h"
#include "modMain.h"
#include "vcoOpenDatabase.h"

#include <QApplication>

using namespace Qt::StringLiterals;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(u"Veltrano Telnormer"_s);
    QApplication::setApplicationVersion(QStringLiteral(TELNORMER_VERSION));
    QApplication::setDesktopFileName(u"com.veltrano.Telnormer"_s);
    QApplication::setWindowIcon(appIcon());
    const auto qtTranslations = installQtTranslations(uiLanguage());

    QtMessageBoxes boxes;
    SettingsStore settings;
    StartServices services{
        settings,
        boxes,
        [&boxes] {
            return std::make_unique<vcoOpenDatabase>(
                boxes, [] { return std::make_shared<DatabaseServer>(); });
        },
        [&settings, &boxes] {
            auto* window = new FMain(gDatabase, settings, boxes);
            window->setAttribute(Qt::WA_DeleteOnClose);
            try {
                window->Form_Load();
            } catch (...) {
                delete window;
                throw;
            }
            window->show();
        },
        QApplication::arguments().contains(u"--automation"_s),
        QApplication::applicationDirPath(),
    };
    Main(services);
    if (services.automationStart)
        return runAutomation(settings, boxes);
    // Without a window (cancelled login, failed load) there is nothing to wait for.
    const QWidgetList windows = QApplication::topLevelWidgets();
    const bool windowOpen = std::any_of(windows.cbegin(), windows.cend(),
                                        [](const QWidget* w) { return w->isVisible(); });
    if (!windowOpen)
        return 0;
    return QApplication::exec();
}
