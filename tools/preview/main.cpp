// Developer entry for screenshots: shows the main window on a database without the login, or
// the login dialog as the start procedure configures it.
//
//   telnormer-preview FILE [--screenshot | --running-screenshot | --results-screenshot OUT.png]
//                          [--country-field FIELD]
//   telnormer-preview --login-screenshot OUT.png [FOLDER]
//
// The user and password for FILE come from VDB_USER (default ADMIN) and VDB_PASSWORD (default
// admin); the language follows the desktop (LANGUAGE / LANG). With --screenshot the main window
// is saved as a PNG once it is shown, and the program ends. --running-screenshot starts a run,
// saves the window while it runs, then stops it with a rollback (the questions answered by
// themselves) and ends. --results-screenshot runs the conversion, asks the summary for the
// results and saves the results view. --login-screenshot saves the login
// dialog offered for FOLDER/*.vdb (default: the program's folder) and user ADMIN, then cancels it.
// --country-field chooses FIELD as the country field of the table the window shows it for.

#include "CurrentDatabase.h"
#include "DatabaseServer.h"
#include "FMain.h"
#include "FOpenDB.h"
#include "GlobalDefs.h"
#include "QtMessageBoxes.h"
#include "SettingsStore.h"
#include "modMain.h"
#include "vcoOpenDatabase.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QTimer>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

constexpr int kSettleMs = 500;

bool save(QWidget& widget, const QString& file) {
    const bool saved = widget.isVisible() && widget.grab().save(file);
    std::fprintf(saved ? stdout : stderr, "%s %s\n", saved ? "saved" : "cannot save",
                 qPrintable(file));
    return saved;
}

// Runs the start procedure's own login step, so the dialog is configured exactly as at a start.
int loginScreenshot(const QString& screenshot, const QString& folder) {
    QtMessageBoxes boxes;
    SettingsStore settings;
    bool saved = false;
    StartServices services{
        settings,
        boxes,
        [&] {
            auto login = std::make_unique<vcoOpenDatabase>(
                boxes, [] { return std::make_shared<DatabaseServer>(); });
            FOpenDB* dialog = &login->dialog();
            QTimer::singleShot(kSettleMs, dialog, [&saved, dialog, screenshot] {
                saved = save(*dialog, screenshot);
                dialog->cmdCancel_Click();
            });
            return login;
        },
        [] {},
        false,
        QApplication::applicationDirPath(),
    };
    OpenDatabaseWithLogin(services, folder + u"/*.vdb"_s, u"ADMIN"_s);
    return saved && !gDatabase ? 0 : 1;
}

// Answers every question with Yes: the stop and rollback questions of the running screenshot.
class AnsweringBoxes : public MessageBoxes {
public:
    MsgAnswer show(const MessageBoxRequest& request) override {
        return request.buttons == MsgButtons::YesNo ? MsgAnswer::Yes : MsgAnswer::Ok;
    }
};

// The summary's Results button; No to every other question.
class ResultsBoxes : public MessageBoxes {
public:
    MsgAnswer show(const MessageBoxRequest& request) override {
        if (request.buttons == MsgButtons::Ok)
            return MsgAnswer::Ok;
        return request.extraButton.isEmpty() ? MsgAnswer::No : MsgAnswer::Extra;
    }
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(u"Veltrano Telnormer"_s);
    const QStringList args = QApplication::arguments();

    if (args.size() >= 3 && args[1] == u"--login-screenshot"_s) {
        const QString folder = args.size() >= 4 ? args[3] : QApplication::applicationDirPath();
        return loginScreenshot(args[2], folder);
    }
    if (args.size() < 2 || args[1].startsWith(u'-')) {
        std::fprintf(stderr, "usage: telnormer-preview FILE [--screenshot OUT.png]\n"
                             "       telnormer-preview --login-screenshot OUT.png [FOLDER]\n");
        return 2;
    }
    qsizetype shotAt = args.indexOf(u"--screenshot"_s);
    const qsizetype runningAt = args.indexOf(u"--running-screenshot"_s);
    const bool running = runningAt > 0;
    if (running)
        shotAt = runningAt;
    const qsizetype resultsAt = args.indexOf(u"--results-screenshot"_s);
    const bool results = resultsAt > 0;
    if (results)
        shotAt = resultsAt;
    const QString screenshot =
        shotAt > 0 && shotAt + 1 < args.size() ? args[shotAt + 1] : QString();
    const QString user = qEnvironmentVariable("VDB_USER", u"ADMIN"_s);
    const QString password = qEnvironmentVariable("VDB_PASSWORD", u"admin"_s);

    QtMessageBoxes desktopBoxes;
    AnsweringBoxes answeringBoxes;
    ResultsBoxes resultsBoxes;
    MessageBoxes& boxes = running   ? static_cast<MessageBoxes&>(answeringBoxes)
                          : results ? static_cast<MessageBoxes&>(resultsBoxes)
                                    : desktopBoxes;
    SettingsStore settings;
    try {
        gDatabase = DatabaseServer().OpenDatabase(args[1], user, password, OpenFlag::Converting);
        FMain window(gDatabase, settings, boxes);
        window.Form_Load();
        if (const qsizetype at = args.indexOf(u"--country-field"_s);
            at > 0 && at + 1 < args.size()) {
            auto* country = window.findChild<QComboBox*>(u"cboCountryField"_s);
            const int index = country ? country->findText(args[at + 1]) : -1;
            if (index < 0) {
                std::fprintf(stderr, "no country field %s\n", qPrintable(args[at + 1]));
                return 1;
            }
            window.cboCountryField_Click(index);
        }
        window.show();
        if (running && !screenshot.isEmpty()) {
            bool saved = false;
            QTimer::singleShot(kSettleMs, &window, [&] {
                // Fires at one of the run's progress points.
                QTimer::singleShot(4 * kSettleMs, &window, [&] {
                    saved = save(window, screenshot);
                    window.cmdStart_Click();
                });
                window.cmdStart_Click();
                QApplication::exit(saved ? 0 : 1);
            });
        } else if (results && !screenshot.isEmpty()) {
            QTimer::singleShot(kSettleMs, &window, [&] {
                window.cmdStart_Click();
                auto* view = window.findChild<QDialog*>();
                QTimer::singleShot(kSettleMs, &window, [&, view] {
                    QApplication::exit(view != nullptr && save(*view, screenshot) ? 0 : 1);
                });
            });
        } else if (!screenshot.isEmpty()) {
            QTimer::singleShot(kSettleMs, &window,
                               [&] { QApplication::exit(save(window, screenshot) ? 0 : 1); });
        }
        return QApplication::exec();
    } catch (const ErrorRecord& error) {
        std::fprintf(stderr, "%s\n", qPrintable(ErrorText(error)));
        return 1;
    }
}
