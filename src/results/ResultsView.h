#pragma once

#include "RunFiles.h"
#include "RunResults.h"

#include <QDialog>

#include <functional>

class MessageBoxes;
class OutcomeChart;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
class ResultsModel;

// How an undo ended: it did not begin; it left values it could have put back (stopped, or a
// write failed); or it put back all it could.
enum class UndoEnd { NotBegun, Unfinished, Done };

// What the results view acts through; tests put in fakes.
struct ResultsActions {
    // Asks for the path to save the report at: (parent, caption, Qt filter) -> path, or an empty
    // text when the user cancels.
    std::function<QString(QWidget*, const QString&, const QString&)> chooseSavePath;
    // The database the run worked on: the report may not replace it or its companions.
    QString database;
    FileModes modes;
    // Puts back the run's stored values. Empty: no undo.
    std::function<UndoEnd()> undo;
    // Asks the undo under way to stop.
    std::function<void()> stop;
    // Shown below the table (the stop's undo put the values back already); empty: nothing.
    QString note;
};

// The desktop's save dialog, asking before it replaces a file.
QString desktopSavePath(QWidget* parent, const QString& caption, const QString& filter);

// After a run: the outcome counts as bars, the values behind them in a table that can be
// sorted, filtered, searched, copied and saved as the report, and the run's undo.
class ResultsView : public QDialog {
    Q_OBJECT

public:
    ResultsView(RunResults& results, MessageBoxes& boxes, ResultsActions actions,
                QWidget* parent = nullptr);
    ~ResultsView() override;

    // Shows the results anew (after an undo added its conflicts).
    void showResults();
    void cboOutcome_Click(int index);
    void txtSearch_Change();
    void cmdCopy_Click();
    void cmdSave_Click();
    void cmdUndo_Click();
    const ResultsModel& model() const { return *model_; }

protected:
    // While the undo runs, Esc and the close box ask it to stop instead.
    void reject() override;
    void closeEvent(QCloseEvent* event) override;

private:
    void applyFilter();
    bool busy_ = false;

    RunResults& results_;
    const qsizetype runRows_; // the run's own rows; an undo's come after them
    MessageBoxes& boxes_;
    ResultsActions actions_;
    ResultsModel* model_;
    OutcomeChart* chtOutcomes;
    QComboBox* cboOutcome;
    QLineEdit* txtSearch;
    QLabel* lblRows;
    QTableView* tblValues;
    QLabel* lblNote;
    QLabel* lblCut;
    QPushButton* cmdCopy;
    QPushButton* cmdSave;
    QPushButton* cmdUndo;
    QPushButton* cmdClose;
};
