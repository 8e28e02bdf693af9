#include "FMain.h"

#include "AppTitle.h"
#include "IndexChoice.h"
#include "MessageBoxes.h"
#include "ProgressView.h"
#include "SettingsStore.h"
#include "StringTable.h"
#include "WindowErrors.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSet>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

QTreeWidget* makeList(QWidget* parent, const QString& name, int columns,
                      QAbstractItemView::SelectionMode mode, bool header) {
    auto* list = new QTreeWidget(parent);
    list->setObjectName(name);
    list->setColumnCount(columns);
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    list->setSelectionMode(mode);
    list->setHeaderHidden(!header);
    list->setAllColumnsShowFocus(true);
    return list;
}

QPushButton* makeButton(QWidget* parent, const QString& name, const QString& text) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    return button;
}

QLabel* makeLabel(QWidget* parent, const QString& name) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    return label;
}

} // namespace

bool openInTextViewer(const QString& path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

// The window as the run's progress view: it repaints at the progress points without taking user
// input, so the desktop never takes it for hung.
class FMain::WindowProgress : public ProgressView {
public:
    explicit WindowProgress(FMain& window)
        : window_(window) {}
    void setBusy(bool busy) override {
        if (busy)
            QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        else
            QGuiApplication::restoreOverrideCursor();
    }
    void setStatus(const QString& text) override { window_.lblStatus->setText(text); }
    void setProgressMaximum(int maximum) override {
        window_.prgBar->setRange(0, std::max(maximum, 1));
    }
    void setProgressValue(int value) override { window_.prgBar->setValue(value); }
    void repaintProgress() override {
        window_.prgBar->repaint();
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
    void repaintWindow() override {
        window_.repaint();
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }

private:
    FMain& window_;
};

FMain::FMain(DatabasePtr database, SettingsStore& settings, MessageBoxes& boxes,
             RunEnvironment environment, QWidget* parent)
    : QWidget(parent)
    , database_(std::move(database))
    , settings_(settings)
    , boxes_(boxes)
    , environment_(std::move(environment))
    , log_(std::make_unique<ChangeLog>(environment_.logLocale))
    , formatter_(environment_.phoneFactory, database_)
    , progress_(std::make_unique<WindowProgress>(*this)) {
    setObjectName(u"FMain"_s);
    buildControls();
    arrangeControls();
    connectControls();
}

// Teardown closes the change log; failures there are ignored.
FMain::~FMain() = default;

void FMain::closeEvent(QCloseEvent* event) {
    if (running_)
        event->ignore();
    else
        QWidget::closeEvent(event);
}

void FMain::cmdStart_Click() {
    if (running_)
        return;
    running_ = true;
    ConversionRun run(RunServices{database_, boxes_, *progress_, *log_, formatter_,
                                  environment_.clock, environment_.openViewer,
                                  [this](Table& table) { return GetIndexName(table); },
                                  [this](Table& table) {
                                      return GetItem(table);
                                  }},
                      chosen_.rows(), onlyMarked());
    lastRun_ = run.run();
    running_ = false;
}

void FMain::buildControls() {
    lblInfo = makeLabel(this, u"lblInfo"_s);
    lblTables = makeLabel(this, u"lblTables"_s);
    lblFields = makeLabel(this, u"lblFields"_s);
    lblChoosedFields = makeLabel(this, u"lblChoosedFields"_s);
    lvwTables = makeList(this, u"lvwTables"_s, 2, QAbstractItemView::SingleSelection, false);
    // Column 0 holds the table's name, the key of every lookup; only the caption shows.
    lvwTables->hideColumn(0);
    lvwFields = makeList(this, u"lvwFields"_s, 1, QAbstractItemView::ExtendedSelection, false);
    cmdAddField = makeButton(this, u"cmdAddField"_s, u">"_s);
    cmdRemoveField = makeButton(this, u"cmdRemoveField"_s, u"<"_s);
    cmdRemoveAllFields = makeButton(this, u"cmdRemoveAllFields"_s, u"<<"_s);
    lvwChoosedFields =
        makeList(this, u"lvwChoosedFields"_s, 2, QAbstractItemView::ExtendedSelection, true);
    lvwChoosedFields->header()->setSectionsClickable(true);
    lvwChoosedFields->header()->setSortIndicatorShown(false);
    lvwChoosedFields->setColumnWidth(0, 133);
    frmOptions = new QGroupBox(this);
    frmOptions->setObjectName(u"frmOptions"_s);
    lblAutomaticChoose = makeLabel(frmOptions, u"lblAutomaticChoose"_s);
    txtPrefixAutoAdd = new QLineEdit(u"Telef"_s, frmOptions);
    txtPrefixAutoAdd->setObjectName(u"txtPrefixAutoAdd"_s);
    lblBegin = makeLabel(frmOptions, u"lblBegin"_s);
    cmdAutoAdd = makeButton(frmOptions, u"cmdAutoAdd"_s, {});
    chkOnlyMarked = new QCheckBox(frmOptions);
    chkOnlyMarked->setObjectName(u"chkOnlyMarked"_s);
    cmdStart = makeButton(this, u"cmdStart"_s, u"Start"_s);
    cmdClose = makeButton(this, u"cmdClose"_s, {});
    lblStatus = makeLabel(this, u"lblStatus"_s);
    prgBar = new QProgressBar(this);
    prgBar->setObjectName(u"prgBar"_s);
    prgBar->setTextVisible(false);
    prgBar->setValue(0);

    setTabOrder(lvwTables, lvwFields);
    setTabOrder(lvwFields, cmdAddField);
    setTabOrder(cmdAddField, lvwChoosedFields);
    setTabOrder(lvwChoosedFields, cmdRemoveField);
    setTabOrder(cmdRemoveField, txtPrefixAutoAdd);
    setTabOrder(txtPrefixAutoAdd, cmdAutoAdd);
    setTabOrder(cmdAutoAdd, chkOnlyMarked);
    setTabOrder(chkOnlyMarked, cmdStart);
    setTabOrder(cmdStart, cmdClose);
    setTabOrder(cmdClose, cmdRemoveAllFields);
}

// The arrangement of the design, in layouts so that longer German texts are never clipped.
void FMain::arrangeControls() {
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(8, 8, 8, 8);
    grid->addWidget(lblInfo, 0, 0, 1, 4);
    grid->addWidget(lblTables, 1, 0);
    grid->addWidget(lblFields, 1, 1);
    grid->addWidget(lblChoosedFields, 1, 3);
    grid->addWidget(lvwTables, 2, 0);
    grid->addWidget(lvwFields, 2, 1);
    auto* moves = new QVBoxLayout;
    moves->addStretch(3);
    for (QPushButton* button : {cmdAddField, cmdRemoveField}) {
        button->setFixedSize(32, 25);
        moves->addWidget(button);
    }
    moves->addSpacing(20);
    cmdRemoveAllFields->setFixedSize(32, 25);
    moves->addWidget(cmdRemoveAllFields);
    moves->addStretch(2);
    grid->addLayout(moves, 2, 2);
    grid->addWidget(lvwChoosedFields, 2, 3);
    grid->setColumnStretch(0, 169);
    grid->setColumnStretch(1, 161);
    grid->setColumnStretch(3, 273);
    grid->setRowStretch(2, 1);

    auto* options = new QGridLayout(frmOptions);
    auto* sentence = new QHBoxLayout;
    sentence->addWidget(lblAutomaticChoose);
    txtPrefixAutoAdd->setMinimumWidth(81);
    sentence->addWidget(txtPrefixAutoAdd, 1);
    sentence->addWidget(lblBegin);
    sentence->addWidget(cmdAutoAdd);
    options->addLayout(sentence, 0, 0);
    options->addWidget(chkOnlyMarked, 1, 0);
    grid->addWidget(frmOptions, 3, 0, 1, 3);

    auto* actions = new QVBoxLayout;
    actions->addStretch(1);
    for (QPushButton* button : {cmdStart, cmdClose}) {
        button->setMinimumWidth(97);
        actions->addWidget(button);
    }
    grid->addLayout(actions, 3, 3, Qt::AlignRight | Qt::AlignBottom);
    grid->addWidget(lblStatus, 4, 0, 1, 4);
    grid->addWidget(prgBar, 5, 0, 1, 4);
    resize(sizeHint().expandedTo(QSize(673, 462)));
}

void FMain::connectControls() {
    // A pick with the mouse or the keyboard rebuilds the fields; so does a click on the row
    // that is already selected.
    connect(lvwTables, &QTreeWidget::currentItemChanged, this, [this] { lvwTables_ItemClick(); });
    connect(lvwTables, &QTreeWidget::itemClicked, this, [this] { lvwTables_ItemClick(); });
    connect(cmdAddField, &QPushButton::clicked, this, &FMain::cmdAddField_Click);
    connect(lvwFields, &QTreeWidget::itemDoubleClicked, this, [this] { cmdAddField_Click(); });
    connect(cmdRemoveField, &QPushButton::clicked, this, &FMain::cmdRemoveField_Click);
    connect(lvwChoosedFields, &QTreeWidget::itemDoubleClicked, this,
            [this] { cmdRemoveField_Click(); });
    connect(cmdRemoveAllFields, &QPushButton::clicked, this, &FMain::cmdRemoveAllFields_Click);
    connect(cmdAutoAdd, &QPushButton::clicked, this, &FMain::cmdAutoAdd_Click);
    connect(lvwChoosedFields->header(), &QHeaderView::sectionClicked, this,
            &FMain::lvwChoosedFields_ColumnClick);
    connect(cmdClose, &QPushButton::clicked, this, &QWidget::close);
    connect(cmdStart, &QPushButton::clicked, this, &FMain::cmdStart_Click);
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
    cmdClose->setText(LoadResourceString(IDS_CLOSE));
    lblStatus->setText(QString());
    lvwChoosedFields->setHeaderLabels(
        {LoadResourceString(IDS_MAIN_COLUMN_TABLE), LoadResourceString(IDS_MAIN_COLUMN_FIELD)});
    txtPrefixAutoAdd->setText(settings_.GetSetting(AppTitle(), SettingKey::section(),
                                                   SettingKey::fieldSearchPrefix(),
                                                   SettingKey::defaultFieldSearchPrefix()));
    AutoAddFields(txtPrefixAutoAdd->text());
    LoadTables();
    // A database without tables opens with empty lists.
    if (lvwTables->topLevelItemCount() > 0) {
        lvwTables->setCurrentItem(lvwTables->topLevelItem(0));
        lvwTables_ItemClick();
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
}

void FMain::cmdRemoveField_Click() {
    QList<int> positions;
    for (QTreeWidgetItem* item : lvwChoosedFields->selectedItems())
        positions << lvwChoosedFields->indexOfTopLevelItem(item);
    chosen_.removeAt(positions);
    std::sort(positions.begin(), positions.end(), std::greater<>());
    for (const int position : positions)
        delete lvwChoosedFields->takeTopLevelItem(position);
    lvwTables_ItemClick();
}

void FMain::cmdRemoveAllFields_Click() {
    chosen_.clear();
    lvwChoosedFields->clear();
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
    lvwTables_ItemClick();
    try {
        settings_.SaveSetting(AppTitle(), SettingKey::section(), SettingKey::fieldSearchPrefix(),
                              prefix);
    } catch (const ErrorRecord& error) {
        showWindowError(boxes_, error, u"FMain.cmdAutoAdd_Click"_s);
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

bool FMain::onlyMarked() const {
    return chkOnlyMarked->isChecked();
}

QString FMain::GetIndexName(Table& table) {
    return ::GetIndexName(table, boxes_);
}

QString FMain::GetItem(Table& table) {
    return ::GetItem(table, boxes_);
}
