// The main window's controls: creation, arrangement and wiring.
#include "FMain.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QTreeWidget>
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
    chkUniform = new QCheckBox(frmOptions);
    chkUniform->setObjectName(u"chkUniform"_s);
    lblCountryField = makeLabel(frmOptions, u"lblCountryField"_s);
    cboCountryField = new QComboBox(frmOptions);
    cboCountryField->setObjectName(u"cboCountryField"_s);
    lblCountryHint = makeLabel(frmOptions, u"lblCountryHint"_s);
    cmdStart = makeButton(this, u"cmdStart"_s, u"Start"_s);
    cmdPreview = makeButton(this, u"cmdPreview"_s, {});
    cmdClose = makeButton(this, u"cmdClose"_s, {});
    lblStatus = makeLabel(this, u"lblStatus"_s);
    prgBar = new QProgressBar(this);
    prgBar->setObjectName(u"prgBar"_s);
    prgBar->setTextVisible(true);
    prgBar->setValue(0);

    setTabOrder(lvwTables, lvwFields);
    setTabOrder(lvwFields, cmdAddField);
    setTabOrder(cmdAddField, lvwChoosedFields);
    setTabOrder(lvwChoosedFields, cmdRemoveField);
    setTabOrder(cmdRemoveField, txtPrefixAutoAdd);
    setTabOrder(txtPrefixAutoAdd, cmdAutoAdd);
    setTabOrder(cmdAutoAdd, chkOnlyMarked);
    setTabOrder(chkOnlyMarked, chkUniform);
    setTabOrder(chkUniform, cboCountryField);
    setTabOrder(cboCountryField, cmdStart);
    setTabOrder(cmdStart, cmdPreview);
    setTabOrder(cmdPreview, cmdClose);
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
    options->addWidget(chkUniform, 2, 0);
    auto* country = new QHBoxLayout;
    country->addWidget(lblCountryField);
    country->addWidget(cboCountryField, 1);
    options->addLayout(country, 3, 0);
    options->addWidget(lblCountryHint, 4, 0);
    grid->addWidget(frmOptions, 3, 0, 1, 3);

    // Preview beside Start, Close below them.
    auto* actions = new QGridLayout;
    actions->setRowStretch(0, 1);
    for (QPushButton* button : {cmdPreview, cmdStart, cmdClose})
        button->setMinimumWidth(97);
    actions->addWidget(cmdPreview, 1, 0);
    actions->addWidget(cmdStart, 1, 1);
    actions->addWidget(cmdClose, 2, 1);
    grid->addLayout(actions, 3, 3, Qt::AlignRight | Qt::AlignBottom);
    grid->addWidget(lblStatus, 4, 0, 1, 4);
    grid->addWidget(prgBar, 5, 0, 1, 4);
    resize(sizeHint().expandedTo(QSize(673, 462)));
}

void FMain::connectControls() {
    // The fields follow the selection itself, whatever moved it (a press released off the rows
    // included), once per change; a click on the row that was already selected rebuilds them too.
    connect(lvwTables, &QTreeWidget::itemSelectionChanged, this, [this] {
        ++tableSelections_;
        lvwTables_ItemClick();
    });
    lvwTables->viewport()->installEventFilter(this);
    connect(lvwTables, &QTreeWidget::itemClicked, this, [this] {
        if (tableSelections_ == selectionsBeforePress_)
            lvwTables_ItemClick();
    });
    connect(cmdAddField, &QPushButton::clicked, this, &FMain::cmdAddField_Click);
    connect(lvwFields, &QTreeWidget::itemDoubleClicked, this, [this] { cmdAddField_Click(); });
    connect(cmdRemoveField, &QPushButton::clicked, this, &FMain::cmdRemoveField_Click);
    connect(lvwChoosedFields, &QTreeWidget::itemDoubleClicked, this,
            [this] { cmdRemoveField_Click(); });
    connect(cmdRemoveAllFields, &QPushButton::clicked, this, &FMain::cmdRemoveAllFields_Click);
    connect(cmdAutoAdd, &QPushButton::clicked, this, &FMain::cmdAutoAdd_Click);
    connect(chkUniform, &QCheckBox::clicked, this, &FMain::chkUniform_Click);
    connect(cboCountryField, &QComboBox::activated, this, &FMain::cboCountryField_Click);
    connect(lvwChoosedFields, &QTreeWidget::currentItemChanged, this, &FMain::showCountryChoice);
    connect(lvwChoosedFields->header(), &QHeaderView::sectionClicked, this,
            &FMain::lvwChoosedFields_ColumnClick);
    connect(cmdClose, &QPushButton::clicked, this, &QWidget::close);
    connect(cmdStart, &QPushButton::clicked, this, &FMain::cmdStart_Click);
    connect(cmdPreview, &QPushButton::clicked, this, &FMain::cmdPreview_Click);
    connect(txtPrefixAutoAdd, &QLineEdit::returnPressed, this, &FMain::cmdAutoAdd_Click);
    auto* removeKey = new QShortcut(QKeySequence::Delete, lvwChoosedFields);
    removeKey->setContext(Qt::WidgetShortcut);
    connect(removeKey, &QShortcut::activated, this, &FMain::cmdRemoveField_Click);
}
