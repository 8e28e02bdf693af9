// The main window's conversion runs: starting, stopping, and the window while a run holds it.
#include "FMain.h"

#include "AppTitle.h"
#include "GlobalDefs.h"
#include "MessageBoxes.h"
#include "StringTable.h"
#include "WindowProgress.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QUrl>

using namespace Qt::StringLiterals;

void openInTextViewer(const QString& path) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void FMain::closeEvent(QCloseEvent* event) {
    if (running())
        event->ignore();
    else
        QWidget::closeEvent(event);
}

void FMain::showRunning(bool running) {
    for (QWidget* control : std::initializer_list<QWidget*>{
             lvwTables, lvwFields, cmdAddField, cmdRemoveField, cmdRemoveAllFields,
             lvwChoosedFields, frmOptions, cmdPreview, cmdClose})
        control->setEnabled(!running);
    if (!running)
        chosenChanged();
}

bool FMain::chosenFieldsHoldText() {
    QStringList refused;
    for (const FieldPair& pair : chosen_.rows()) {
        try {
            const FieldPtr field =
                database_->Tables()->Item(pair.table)->Fields()->Item(pair.field);
            auto* kind = dynamic_cast<FieldKind*>(field.get());
            if (kind != nullptr && !kind->HoldsText())
                refused << pair.table + u'.' + pair.field;
        } catch (const ErrorRecord&) {
            // A field that cannot be looked up is the run's to report.
        }
    }
    if (refused.isEmpty())
        return true;
    // The names go in after the line breaks are made, so that none of them is changed.
    QString text = FormatString(LoadResourceString(IDS_MAIN_NOT_TEXT), {});
    text.replace(text.indexOf(u"%s"_s), 2, refused.join(u"\r\n"_s));
    boxes_.ok(text, AppTitle(), MsgIcon::Exclamation);
    return false;
}

void FMain::cmdStart_Click() {
    if (running() || !chosenFieldsHoldText())
        return;
    ConversionRun run(RunServices{database_, boxes_, *progress_, *log_, formatter_,
                                  environment_.clock, environment_.openViewer,
                                  [this](Table& table) { return GetIndexName(table); },
                                  [this](Table& table) {
                                      return GetItem(table);
                                  }},
                      chosen_.rows(), onlyMarked());
    run_ = &run;
    showRunning(true);
    lastRun_ = run.run();
    run_ = nullptr;
    showRunning(false);
}
