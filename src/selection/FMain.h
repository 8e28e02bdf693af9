#pragma once

#include "ChangeLog.h"
#include "ChosenFields.h"
#include "ComponentFactory.h"
#include "ConversionRun.h"
#include "DbServer.h"
#include "NumberFormatting.h"
#include "ResultsView.h"
#include "RunResults.h"

#include <QDateTime>
#include <QLocale>
#include <QWidget>

#include <functional>
#include <memory>

class MessageBoxes;
class SettingsStore;
class QCheckBox;
class RecordLabels;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
class WindowProgress;

// Shows a file in the desktop's text viewer, without waiting for it; false when none started.
bool openInTextViewer(const QString& path);

// What the main window's conversion runs work with besides the database; tests put in fakes.
struct RunEnvironment {
    ComponentFactory phoneFactory = ComponentFactory::withDefaults();
    std::function<QDateTime()> clock = [] {
        return QDateTime::currentDateTime();
    };
    std::function<bool(const QString&)> openViewer = openInTextViewer;
    QLocale logLocale = QLocale::system();
    // Where the results view saves its report.
    std::function<QString(QWidget*, const QString&, const QString&)> chooseSavePath =
        desktopSavePath;
};

// The main window: the tables of the database, the fields of the selected table, the list of
// chosen fields and the options of a conversion run.
class FMain : public QWidget {
    Q_OBJECT

public:
    FMain(DatabasePtr database, SettingsStore& settings, MessageBoxes& boxes,
          RunEnvironment environment = {}, QWidget* parent = nullptr);
    ~FMain() override;

    // Fills the window from the database and the settings; failures go to the caller.
    void Form_Load();

    // The chosen (table, field) pairs in list order, as the run reads them.
    const ChosenFields& chosenFields() const { return chosen_; }
    bool onlyMarked() const;

    // Runs the conversion over the chosen fields (the Start button); during a run the same
    // button reads "Stop" and asks the run to stop.
    void cmdStart_Click();
    // Runs the conversion as a preview: everything but storing, in a log of its own.
    void cmdPreview_Click();
    bool running() const { return run_ != nullptr; }
    // What the last run did.
    const RunResult& lastRun() const { return lastRun_; }
    // The values behind the last run's counts.
    const RunResults& lastResults() const { return results_; }
    // Opens the results view of the last run (the summary box's Results button).
    void showResults();
    // The change log of this window's runs.
    const ChangeLog& changeLog() const { return *log_; }
    bool hasPhoneComponent() const { return formatter_.hasComponent(); }

    void lvwTables_ItemClick();
    void cmdAddField_Click();
    void cmdRemoveField_Click();
    void cmdRemoveAllFields_Click();
    void cmdAutoAdd_Click();
    // Remembered at once, as the prefix is.
    void chkUniform_Click();
    void lvwChoosedFields_ColumnClick(int column);
    // The country field of the table the combo box shows, remembered for this database at once.
    void cboCountryField_Click(int index);
    // Appends every (table, field) whose field name begins with prefix and is not yet chosen.
    void AutoAddFields(const QString& prefix);

    QString GetIndexName(Table& table);
    QString GetItem(Table& table);

protected:
    // During a run, the close box and Esc ask the run to stop.
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The controls, named as the window's design names them; tests find them by these names.
    QLabel* lblInfo;
    QLabel* lblTables;
    QLabel* lblFields;
    QLabel* lblChoosedFields;
    QTreeWidget* lvwTables;
    QTreeWidget* lvwFields;
    QPushButton* cmdAddField;
    QPushButton* cmdRemoveField;
    QPushButton* cmdRemoveAllFields;
    QTreeWidget* lvwChoosedFields;
    QGroupBox* frmOptions;
    QLabel* lblAutomaticChoose;
    QLineEdit* txtPrefixAutoAdd;
    QLabel* lblBegin;
    QPushButton* cmdAutoAdd;
    QCheckBox* chkOnlyMarked;
    QCheckBox* chkUniform;
    QLabel* lblCountryField;
    QComboBox* cboCountryField;
    QLabel* lblCountryHint;
    QPushButton* cmdStart;
    QPushButton* cmdPreview;
    QPushButton* cmdClose;
    QLabel* lblStatus;
    QProgressBar* prgBar;

    void buildControls();
    void arrangeControls();
    void connectControls();
    void LoadTables();
    void insertChosenRow(int position, const FieldPair& pair);
    void showChosenRows();
    QString selectedTableName() const;
    // Start and Preview need a field to convert.
    void chosenChanged();
    void startRun(RunMode mode);
    RunServices runServices(RecordLabels& labels);
    // The results view's undo: true when it ran.
    UndoEnd undoLastRun();
    // Every control but the Stop button is disabled while a run holds the window.
    void showRunning(bool running);
    // Refuses chosen fields that hold no text, in one box naming them; true when there are none.
    bool chosenFieldsHoldText();
    // The country field choice follows the current chosen row's table, else the first one's.
    void showCountryChoice();
    void LoadCountryFields();
    QString countrySettingKey(const QString& table);

    DatabasePtr database_;
    SettingsStore& settings_;
    MessageBoxes& boxes_;
    RunEnvironment environment_;
    ChosenFields chosen_;
    // Per table the field naming each record's country, as remembered for this database.
    QHash<QString, QString> countryFields_;
    QString countryTable_;
    // The text fields of every table, read once at load: the choice needs no database lookups.
    QHash<QString, QStringList> textFields_;
    std::unique_ptr<ChangeLog> log_;
    KanonicalFormatter formatter_;
    std::unique_ptr<WindowProgress> progress_;
    RunResult lastRun_;
    RunResults results_;
    // The chosen fields of the last run, for its undo.
    QList<FieldPair> lastChosen_;
    // The run in progress, for stop requests; null between runs.
    ConversionRun* run_ = nullptr;
    // The close box asked for the stop: the window closes when the run has stopped.
    bool closeAfterStop_ = false;
    // Changes of the tables list's selection, counted to tell a click that changed it from one
    // on the row that was already selected.
    int tableSelections_ = 0;
    int selectionsBeforePress_ = -1;
};
