#pragma once

#include "ChosenFields.h"
#include "DbServer.h"

#include <QWidget>

class MessageBoxes;
class SettingsStore;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

// The main window: the tables of the database, the fields of the selected table, the list of
// chosen fields and the options of a conversion run.
class FMain : public QWidget {
    Q_OBJECT

public:
    FMain(DatabasePtr database, SettingsStore& settings, MessageBoxes& boxes,
          QWidget* parent = nullptr);
    ~FMain() override;

    // Fills the window from the database and the settings; failures go to the caller.
    void Form_Load();

    // The chosen (table, field) pairs in list order, as the run reads them.
    const ChosenFields& chosenFields() const { return chosen_; }
    bool onlyMarked() const;

    void lvwTables_ItemClick();
    void cmdAddField_Click();
    void cmdRemoveField_Click();
    void cmdRemoveAllFields_Click();
    void cmdAutoAdd_Click();
    void lvwChoosedFields_ColumnClick(int column);
    // Appends every (table, field) whose field name begins with prefix and is not yet chosen.
    void AutoAddFields(const QString& prefix);

    QString GetIndexName(Table& table);
    QString GetItem(Table& table);

    // The controls, named as the window's design names them.
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
    QPushButton* cmdStart;
    QPushButton* cmdClose;
    QLabel* lblStatus;
    QProgressBar* prgBar;

protected:
    DatabasePtr database() const { return database_; }
    MessageBoxes& boxes() const { return boxes_; }

private:
    void buildControls();
    void arrangeControls();
    void connectControls();
    void LoadTables();
    void insertChosenRow(int position, const FieldPair& pair);
    void showChosenRows();
    QString selectedTableName() const;

    DatabasePtr database_;
    SettingsStore& settings_;
    MessageBoxes& boxes_;
    ChosenFields chosen_;
};
