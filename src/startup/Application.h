#pragma once

#include "DbServer.h"
#include "FMain.h"

#include <QPointer>

class MessageBoxes;
class SettingsStore;

// The creatable class of the automation entry: a host hands over its open database and the
// user works on it in a main window, without a login.
class Application {
public:
    Application(SettingsStore& settings, MessageBoxes& boxes);
    ~Application();

    // Makes pdb the current database and shows one more main window on it, without an owner.
    // An empty pdb fails with 0x80042EE0 and changes nothing. pdb itself is left as it is.
    // While a conversion run is under way it fails with kUseDatabaseDuringRun and changes
    // nothing; the automation server holds the calls it receives meanwhile until the run ends.
    void UseDatabase(DatabasePtr& pdb);

    // The window of the last UseDatabase call; null before it or once that window is closed.
    FMain* window() const { return window_.data(); }

private:
    SettingsStore& settings_;
    MessageBoxes& boxes_;
    QPointer<FMain> window_;
};

// The number of the error an empty database reference raises.
constexpr qint32 kUseDatabaseEmpty = serverErrorNumber(12000);
// The number of the error a call raises while a conversion run is under way, and its text.
constexpr qint32 kUseDatabaseDuringRun = serverErrorNumber(12001);
inline const QString kUseDatabaseDuringRunText =
    QStringLiteral("A conversion run is under way in Telnormer; UseDatabase opens no window "
                   "before it has ended. Call again when the run has ended.");
