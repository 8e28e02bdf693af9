// Developer entry: opens a .vdb database and shows the main window on it, without the login.
//
//   telnormer-preview FILE [--screenshot OUT.png]
//
// The user and password come from VDB_USER (default ADMIN) and VDB_PASSWORD (default admin);
// the language follows the desktop (LANGUAGE / LANG). With --screenshot the window is saved as
// a PNG once it is shown, and the program ends.

#include "CurrentDatabase.h"
#include "FMain.h"
#include "GlobalDefs.h"
#include "MessageBoxes.h"
#include "SettingsStore.h"
#include "VdbServer.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>

using namespace Qt::StringLiterals;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    if (args.size() < 2 || args[1].startsWith(u'-')) {
        std::fprintf(stderr, "usage: telnormer-preview FILE [--screenshot OUT.png]\n");
        return 2;
    }
    const qsizetype shotAt = args.indexOf(u"--screenshot"_s);
    const QString screenshot =
        shotAt > 0 && shotAt + 1 < args.size() ? args[shotAt + 1] : QString();
    const QString user = qEnvironmentVariable("VDB_USER", u"ADMIN"_s);
    const QString password = qEnvironmentVariable("VDB_PASSWORD", u"admin"_s);

    QtMessageBoxes boxes;
    SettingsStore settings;
    try {
        gDatabase = VdbServer().OpenDatabase(args[1], user, password, 0);
        FMain window(gDatabase, settings, boxes);
        window.Form_Load();
        window.show();
        if (!screenshot.isEmpty()) {
            QTimer::singleShot(500, &window, [&] {
                const bool saved = window.grab().save(screenshot);
                std::fprintf(saved ? stdout : stderr, "%s %s\n", saved ? "saved" : "cannot save",
                             qPrintable(screenshot));
                QApplication::exit(saved ? 0 : 1);
            });
        }
        return QApplication::exec();
    } catch (const ErrorRecord& error) {
        std::fprintf(stderr, "%s\n", qPrintable(ErrorText(error)));
        return 1;
    }
}
