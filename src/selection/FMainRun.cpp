// The main window's conversion runs: starting, stopping, and the window while a run holds it.
#include "FMain.h"

#include "AppTitle.h"
#include "GlobalDefs.h"
#include "IndexChoice.h"
#include "MessageBoxes.h"
#include "ResultsView.h"
#include "RunUnderWay.h"
#include "StringTable.h"
#include "WindowProgress.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>

using namespace Qt::StringLiterals;

bool openInTextViewer(const QString& path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

// The close box during a run asks it to stop; the window closes once it has stopped.
void FMain::closeEvent(QCloseEvent* event) {
    if (!running()) {
        QWidget::closeEvent(event);
        return;
    }
    event->ignore();
    closeAfterStop_ = true;
    run_->requestStop();
}

void FMain::keyPressEvent(QKeyEvent* event) {
    if (running() && event->key() == Qt::Key_Escape) {
        closeAfterStop_ = false;
        run_->requestStop();
        return;
    }
    QWidget::keyPressEvent(event);
}

void FMain::showRunning(bool running) {
    // Input is handled at the run's repaint points: only Stop, Esc and the close box may act.
    for (QWidget* control : std::initializer_list<QWidget*>{
             lvwTables, lvwFields, cmdAddField, cmdRemoveField, cmdRemoveAllFields,
             lvwChoosedFields, frmOptions, cmdPreview, cmdClose})
        control->setEnabled(!running);
    cmdStart->setText(running ? LoadResourceString(IDS_MAIN_STOP) : u"Start"_s);
    if (running)
        cmdStart->setFocus(Qt::OtherFocusReason);
    else
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
    if (running()) {
        closeAfterStop_ = false;
        run_->requestStop();
        return;
    }
    startRun(RunMode::Convert);
}

void FMain::cmdPreview_Click() {
    if (!running())
        startRun(RunMode::Preview);
}

RunServices FMain::runServices(RecordLabels& labels) {
    RunServices services{database_,
                         boxes_,
                         *progress_,
                         *log_,
                         formatter_,
                         environment_.clock,
                         environment_.openViewer,
                         [this](Table& table) { return GetIndexName(table); },
                         [&labels](Table& table) {
                             return labels(table);
                         }};
    services.uniform = chkUniform->isChecked();
    // A field the run rewrites names no country, even where it once was chosen for one.
    for (auto it = countryFields_.cbegin(); it != countryFields_.cend(); ++it) {
        if (!chosen_.contains(it.key(), it.value()))
            services.countryFields.insert(it.key(), it.value());
    }
    services.unreadableFound = [this](const UnreadableValue& value) {
        results_.add(value);
    };
    return services;
}

void FMain::startRun(RunMode mode) {
    // One run at a time in the process: a second would share the first one's transaction.
    if (RunUnderWay::underWay() || !chosenFieldsHoldText())
        return;
    RecordLabels labels(boxes_);
    RunServices services = runServices(labels);
    services.convertedFound = [this](QList<UnreadableValue>&& values) {
        results_.addAll(std::move(values));
    };
    services.offerResults = true;
    // A view of the last run must not outlive its rows.
    qDeleteAll(findChildren<ResultsView*>());
    results_.clear();
    lastChosen_ = chosen_.rows();
    ConversionRun run(std::move(services), chosen_.rows(), onlyMarked(), mode);
    run_ = &run;
    closeAfterStop_ = false;
    showRunning(true);
    {
        const RunUnderWay underWay(*this);
        lastRun_ = run.run();
    }
    run_ = nullptr;
    results_.squeeze();
    showRunning(false);
    if (closeAfterStop_ && lastRun_.stopped)
        close();
    else if (lastRun_.resultsAsked)
        showResults();
}

void FMain::showResults() {
    ResultsActions actions;
    actions.chooseSavePath = environment_.chooseSavePath;
    try {
        actions.database = database_->FileName();
    } catch (const ErrorRecord&) {
        // Only the database's own files are kept from the report: none to know of.
    }
    actions.modes = RunFiles::modesLike(actions.database);
    if (lastRun_.undone)
        actions.note = LoadResourceString(IDS_RESULTS_UNDONE);
    if (!lastRun_.preview && !lastRun_.undone && lastRun_.journalFrom >= 0)
        actions.undo = [this] {
            return undoLastRun();
        };
    actions.stop = [this] {
        if (run_ != nullptr)
            run_->requestStop();
    };
    auto* view = new ResultsView(results_, boxes_, std::move(actions), this);
    view->setAttribute(Qt::WA_DeleteOnClose);
    // The view shows this window's last run: no other may start while it is open.
    view->setWindowModality(Qt::WindowModal);
    view->show();
}

UndoEnd FMain::undoLastRun() {
    if (RunUnderWay::underWay())
        return UndoEnd::NotBegun;
    RecordLabels labels(boxes_);
    ConversionRun undo(runServices(labels), lastChosen_, false);
    run_ = &undo;
    closeAfterStop_ = false;
    showRunning(true);
    RunResult undone;
    {
        const RunUnderWay underWay(*this);
        undone = undo.undoOf(lastRun_);
    }
    run_ = nullptr;
    showRunning(false);
    // The close box stopped it: the window closes once the view is done with the click.
    if (closeAfterStop_ && undone.stopped)
        QTimer::singleShot(0, this, &QWidget::close);
    // A value it could not write is still the run's: another undo may put it back.
    return !undone.started                          ? UndoEnd::NotBegun
           : undone.stopped || undone.notStored > 0 ? UndoEnd::Unfinished
                                                    : UndoEnd::Done;
}
