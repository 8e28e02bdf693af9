#include "FMain.h"

#include "AppTitle.h"
#include "IndexChoice.h"
#include "MessageBoxes.h"
#include "SettingsStore.h"
#include "StringTable.h"
#include "WindowErrors.h"
#include "WindowProgress.h"

#include <QCheckBox>
#include <QEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSet>
#include <QTreeWidget>

using namespace Qt::StringLiterals;

FMain::FMain(DatabasePtr database, SettingsStore& settings, MessageBoxes& boxes,
             RunEnvironment environment, QWidget* parent)
    : QWidget(parent)
    , database_(std::move(database))
    , settings_(settings)
    , boxes_(boxes)
    , environment_(std::move(environment))
    , log_(std::make_unique<ChangeLog>(environment_.logLocale))
    , formatter_(environment_.phoneFactory, database_)
    , progress_(nullptr) {
    setObjectName(u"FMain"_s);
    buildControls();
    arrangeControls();
    connectControls();
    progress_ = std::make_unique<WindowProgress>(*this, *lblStatus, *prgBar);
}

// Teardown closes the change log; failures there are ignored.
FMain::~FMain() = default;

bool FMain::eventFilter(QObject* watched, QEvent* event) {
    // Seen before the list handles the press, which may move the selection.
    if (watched == lvwTables->viewport() && event->type() == QEvent::MouseButtonPress)
        selectionsBeforePress_ = tableSelections_;
    return QWidget::eventFilter(watched, event);
}

void FMain::Form_Load() {
    setWindowTitle(database_->Name() + LoadResourceString(IDS_MAIN_TITLE_SUFFIX));
    lblInfo->setText(LoadResourceString(IDS_MAIN_INFO));
    lblTables->setText(LoadResourceString(IDS_MAIN_TABLES));
    lblFields->setText(LoadResourceString(IDS_MAIN_FIELDS));
    lblChoosedFields->setText(LoadResourceString(IDS_MAIN_CHOSEN_FIELDS));
    frmOptions->setTitle(LoadResourceString(IDS_MAIN_OPTIONS));
    lblAutomaticChoose->setText(LoadResourceString(IDS_MAIN_AUTO_CHOOSE));
    lblBegin->setText(LoadResourceString(IDS_MAIN_AUTO_BEGIN));
    cmdAutoAdd->setText(LoadResourceString(IDS_MAIN_AUTO_BUTTON));
    chkOnlyMarked->setText(LoadResourceString(IDS_MAIN_ONLY_MARKED));
    chkUniform->setText(LoadResourceString(IDS_MAIN_UNIFORM));
    cmdClose->setText(LoadResourceString(IDS_CLOSE));
    cmdPreview->setText(LoadResourceString(IDS_MAIN_PREVIEW));
    cmdAddField->setToolTip(LoadResourceString(IDS_MAIN_TIP_ADD));
    cmdRemoveField->setToolTip(LoadResourceString(IDS_MAIN_TIP_REMOVE));
    cmdRemoveAllFields->setToolTip(LoadResourceString(IDS_MAIN_TIP_REMOVE_ALL));
    lblStatus->setText(QString());
    lvwChoosedFields->setHeaderLabels(
        {LoadResourceString(IDS_MAIN_COLUMN_TABLE), LoadResourceString(IDS_MAIN_COLUMN_FIELD)});
    txtPrefixAutoAdd->setText(settings_.GetSetting(AppTitle(), SettingKey::section(),
                                                   SettingKey::fieldSearchPrefix(),
                                                   SettingKey::defaultFieldSearchPrefix()));
    chkUniform->setChecked(settings_.GetSetting(AppTitle(), SettingKey::section(),
                                                SettingKey::uniformNumbers(), {}) == u"1"_s);
    LoadCountryFields();
    AutoAddFields(txtPrefixAutoAdd->text());
    chosenChanged();
    LoadTables();
    // A database without tables opens with empty lists.
    if (lvwTables->topLevelItemCount() > 0) {
        // Selecting it lists its fields. The current cell is the shown one: the keyboard moves
        // from it, and from the hidden name column it would select the top row instead.
        lvwTables->setCurrentItem(lvwTables->topLevelItem(0), 1);
    }
}

void FMain::LoadTables() {
    QList<QTreeWidgetItem*> rows;
    for (const TablePtr& table : database_->Tables()) {
        const QString name = table->Name();
        const QString caption = table->Caption();
        rows << new QTreeWidgetItem(QStringList{name, caption.isEmpty() ? name : caption});
    }
    lvwTables->addTopLevelItems(rows);
}

QString FMain::selectedTableName() const {
    const QList<QTreeWidgetItem*> selected = lvwTables->selectedItems();
    return selected.isEmpty() ? QString() : selected.first()->text(0);
}

void FMain::lvwTables_ItemClick() {
    const QList<QTreeWidgetItem*> selected = lvwTables->selectedItems();
    if (selected.isEmpty())
        return;
    const QString tableName = selected.first()->text(0);
    lvwFields->clear();
    try {
        const TablePtr table = database_->Tables()->Item(tableName);
        for (const FieldPtr& field : table->Fields()) {
            const QString name = field->Name();
            if (!chosen_.contains(tableName, name))
                lvwFields->addTopLevelItem(new QTreeWidgetItem(QStringList{name}));
        }
    } catch (const ErrorRecord& error) {
        showWindowError(boxes_, error, u"FMain.lvwTables_ItemClick"_s);
    }
}

void FMain::insertChosenRow(int position, const FieldPair& pair) {
    lvwChoosedFields->insertTopLevelItem(position,
                                         new QTreeWidgetItem(QStringList{pair.table, pair.field}));
}

// Shows the chosen rows anew in their order, keeping the user's selection.
void FMain::showChosenRows() {
    QSet<FieldPair> selected;
    for (const QTreeWidgetItem* item : lvwChoosedFields->selectedItems())
        selected.insert(FieldPair{item->text(0), item->text(1)});
    lvwChoosedFields->clear();
    QList<QTreeWidgetItem*> items;
    for (const FieldPair& pair : chosen_.rows())
        items << new QTreeWidgetItem(QStringList{pair.table, pair.field});
    lvwChoosedFields->addTopLevelItems(items);
    for (QTreeWidgetItem* item : items)
        item->setSelected(selected.contains(FieldPair{item->text(0), item->text(1)}));
}

void FMain::cmdAddField_Click() {
    const QString tableName = selectedTableName();
    // Without a selected table the fields have no table to pair with.
    if (tableName.isEmpty())
        return;
    const int count = lvwFields->topLevelItemCount();
    int deleted = 0;
    for (int start = 0; start < count; ++start) {
        QTreeWidgetItem* item = lvwFields->topLevelItem(start - deleted);
        if (!item->isSelected())
            continue;
        const FieldPair pair{tableName, item->text(0)};
        insertChosenRow(chosen_.append(pair.table, pair.field), pair);
        delete item;
        ++deleted;
    }
    chosenChanged();
}

void FMain::cmdRemoveField_Click() {
    QList<int> positions;
    for (QTreeWidgetItem* item : lvwChoosedFields->selectedItems())
        positions << lvwChoosedFields->indexOfTopLevelItem(item);
    chosen_.removeAt(positions);
    std::sort(positions.begin(), positions.end(), std::greater<>());
    for (const int position : positions)
        delete lvwChoosedFields->takeTopLevelItem(position);
    chosenChanged();
    lvwTables_ItemClick();
}

void FMain::cmdRemoveAllFields_Click() {
    chosen_.clear();
    lvwChoosedFields->clear();
    chosenChanged();
    lvwTables_ItemClick();
}

void FMain::AutoAddFields(const QString& prefix) {
    if (prefix.isEmpty())
        return;
    for (const TablePtr& table : database_->Tables()) {
        const QString tableName = table->Name();
        for (const FieldPtr& field : table->Fields()) {
            const QString name = field->Name();
            if (prefixMatches(name, prefix) && !chosen_.contains(tableName, name))
                insertChosenRow(chosen_.append(tableName, name), FieldPair{tableName, name});
        }
    }
}

void FMain::cmdAutoAdd_Click() {
    const QString prefix = txtPrefixAutoAdd->text();
    try {
        AutoAddFields(prefix);
    } catch (const ErrorRecord& error) {
        // The rows appended before the failure stay.
        showWindowError(boxes_, error, u"FMain.cmdAutoAdd_Click"_s);
    }
    chosenChanged();
    lvwTables_ItemClick();
    try {
        settings_.SaveSetting(AppTitle(), SettingKey::section(), SettingKey::fieldSearchPrefix(),
                              prefix);
    } catch (const ErrorRecord& error) {
        showWindowError(boxes_, error, u"FMain.cmdAutoAdd_Click"_s);
    }
}

void FMain::chkUniform_Click() {
    try {
        settings_.SaveSetting(AppTitle(), SettingKey::section(), SettingKey::uniformNumbers(),
                              chkUniform->isChecked() ? u"1"_s : u"0"_s);
    } catch (const ErrorRecord& error) {
        showWindowError(boxes_, error, u"FMain.chkUniform_Click"_s);
    }
}

void FMain::lvwChoosedFields_ColumnClick(int column) {
    chosen_.columnSort(column);
    lvwChoosedFields->header()->setSortIndicatorShown(true);
    lvwChoosedFields->header()->setSortIndicator(
        column, chosen_.direction() == ChosenFields::Direction::Ascending ? Qt::AscendingOrder
                                                                          : Qt::DescendingOrder);
    showChosenRows();
}

void FMain::chosenChanged() {
    const bool any = chosen_.size() > 0;
    cmdStart->setEnabled(any);
    cmdPreview->setEnabled(any);
    showCountryChoice();
}

bool FMain::onlyMarked() const {
    return chkOnlyMarked->isChecked();
}

QString FMain::GetIndexName(Table& table) {
    return ::GetIndexName(table, boxes_);
}

QString FMain::GetItem(Table& table) {
    return ::GetItem(table, boxes_);
}
