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

#include <cstdio>
#include <cstring>

using namespace Qt::StringLiterals;

namespace {

const char* kHelp =
    "Usage: telnormer [--automation]\n"
    "\n"
    "Rewrites the telephone numbers stored in a product database (.vdb file or PostgreSQL\n"
    "server) into one canonical form (\"+49 (30) 1234567\"), field by field, in small\n"
    "committed batches, and records every change in a change log and a journal (for undo).\n"
    "It starts with the login dialog: a database file or postgresql:// URI, a user and a\n"
    "password; then the main window offers the tables and fields to convert.\n"
    "\n"
    "Options:\n"
    "  --automation         serve the automation entry com.veltrano.Telnormer on the session\n"
    "                       bus (no login): other programs hand over an open database, and\n"
    "                       each hand-over opens a main window on it. The bus starts the\n"
    "                       program this way.\n"
    "  -h, --help           show this help.\n"
    "  --version            show the version.\n"
    "\n"
    "Exit status:\n"
    "  0      the last window was closed, or the login was cancelled\n"
    "  other  the program could not start (without a display Qt aborts it)\n"
    "\n"
    "Environment:\n"
    "  LANGUAGE, LANG  the language of the user interface: German or English.\n"
    "  PGPASSWORD      not used: on a postgresql:// database the login's password goes to\n"
    "                  the server; PGHOST, PGPORT and libpq's other variables fill in what\n"
    "                  the URI leaves out.\n"
    "  VDB_PASSWORD    not used by the window (only by telnormer-batch, telnormer-host and\n"
    "                  vdbtool).\n"
    "  XDG_CONFIG_HOME where the settings are kept (default ~/.config).\n"
    "\n"
    "Files:\n"
    "  ~/.config/Veltrano Telnormer.ini\n"
    "                       the settings: the last database and user, the field prefix.\n"
    "  DIR/Logs/Telnormer/NAME_YYYY-MM-DD HH-MM-SS.txt\n"
    "                       the change log of a run on DIR/NAME.vdb; a server database's\n"
    "                       logs go to ~/.local/share/Veltrano Telnormer/Logs/Telnormer/.\n"
    "  the same name ending in .jsonl\n"
    "                       the run's journal: every stored change, so that the run can\n"
    "                       be undone.\n"
    "\n"
    "Examples:\n"
    "  $ telnormer\n"
    "  $ LANGUAGE=de telnormer\n";

// Answered before the window system is reached, so that they work on a plain terminal.
bool answeredOnTerminal(int argc, char** argv) {
    for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kHelp, stdout);
            return true;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::fputs("telnormer (Telnormer) " TELNORMER_VERSION
                       "\nCopyright (C) " TELNORMER_COPYRIGHT "\n",
                       stdout);
            return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char** argv) {
    if (answeredOnTerminal(argc, argv))
        return 0;
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
