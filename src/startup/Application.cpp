#include "Application.h"

#include "CurrentDatabase.h"
#include "FMain.h"
#include "RunUnderWay.h"

using namespace Qt::StringLiterals;

Application::Application(SettingsStore& settings, MessageBoxes& boxes)
    : settings_(settings)
    , boxes_(boxes) {}

// Releasing the object drops its reference only: an open window stays open.
Application::~Application() = default;

void Application::UseDatabase(DatabasePtr& pdb) {
    if (!pdb)
        throw ErrorRecord(kUseDatabaseEmpty,
                          u"UseDatabase must be supplied with an open database."_s,
                          u"VelTelnormer"_s);
    // Called from inside a run's event handling, waiting would never see the run end.
    if (RunUnderWay::underWay())
        throw ErrorRecord(kUseDatabaseDuringRun, kUseDatabaseDuringRunText, u"VelTelnormer"_s);
    gDatabase = pdb;
    auto* window = new FMain(gDatabase, settings_, boxes_);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window_ = window;
    try {
        window->Form_Load();
    } catch (...) {
        delete window;
        throw;
    }
    window->show();
}
