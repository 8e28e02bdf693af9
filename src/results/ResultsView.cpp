#include "ResultsView.h"

#include "AppTitle.h"
#include "FileChooser.h"
#include "GlobalDefs.h"
#include "MessageBoxes.h"
#include "OutcomeChart.h"
#include "ResultsModel.h"
#include "RunReport.h"
#include "StringTable.h"
#include "UnreadableValue.h"

#include <QAction>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

quint32 bit(Unreadable reason) {
    return 1u << quint32(reason);
}

quint32 outcomeBits(Outcome outcome) {
    quint32 bits = 0;
    for (int r = 0; r < kRowReasons; ++r) {
        if (outcomeOf(Unreadable(r)) == outcome)
            bits |= bit(Unreadable(r));
    }
    return bits;
}

// Fixed colours, so that the same outcome looks the same in every run and language.
QList<OutcomeChart::Bar> barsOf(const RunResults& results) {
    QList<OutcomeChart::Bar> bars{
        {LoadResourceString(IDS_RESULTS_CONVERTED), results.count(Outcome::Converted),
         QColor(0x2e, 0x8b, 0x57), outcomeBits(Outcome::Converted)},
        {LoadResourceString(IDS_RESULTS_REFUSED), results.count(Outcome::Refused),
         QColor(0xc0, 0x39, 0x2b), outcomeBits(Outcome::Refused)},
        {LoadResourceString(IDS_RESULTS_NOT_A_NUMBER), results.count(Outcome::NotANumber),
         QColor(0x7f, 0x8c, 0x8d), outcomeBits(Outcome::NotANumber)}};
    for (int r = 0; r < kRowReasons; ++r) {
        const auto reason = Unreadable(r);
        if (outcomeOf(reason) == Outcome::Unreadable && results.count(reason) > 0)
            bars << OutcomeChart::Bar{
                FormatString(LoadResourceString(IDS_RESULTS_UNREADABLE), {unreadableName(reason)}),
                results.count(reason), QColor(0xe6, 0x7e, 0x22), bit(reason)};
    }
    bars << OutcomeChart::Bar{LoadResourceString(IDS_RESULTS_LAYOUT_ONLY),
                              results.count(Outcome::LayoutOnly), QColor(0x29, 0x80, 0xb9),
                              outcomeBits(Outcome::LayoutOnly)};
    if (results.count(Outcome::Conflict) > 0)
        bars << OutcomeChart::Bar{LoadResourceString(IDS_RESULTS_CONFLICT),
                                  results.count(Outcome::Conflict), QColor(0x8e, 0x44, 0xad),
                                  outcomeBits(Outcome::Conflict)};
    return bars;
}

} // namespace

QString desktopSavePath(QWidget* parent, const QString& caption, const QString& filter) {
    return QFileDialog::getSaveFileName(parent, caption, QDir::homePath() + u"/report.csv"_s,
                                        qtFileFilter(filter));
}

ResultsView::ResultsView(RunResults& results, MessageBoxes& boxes, ResultsActions actions,
                         QWidget* parent)
    : QDialog(parent)
    , results_(results)
    , runRows_(results.size())
    , boxes_(boxes)
    , actions_(std::move(actions))
    , model_(new ResultsModel(results, this))
    , chtOutcomes(new OutcomeChart(this))
    , cboOutcome(new QComboBox(this))
    , txtSearch(new QLineEdit(this))
    , lblRows(new QLabel(this))
    , tblValues(new QTableView(this))
    , lblNote(new QLabel(this))
    , lblCut(new QLabel(this))
    , cmdCopy(new QPushButton(LoadResourceString(IDS_RESULTS_COPY), this))
    , cmdSave(new QPushButton(LoadResourceString(IDS_RESULTS_SAVE), this))
    , cmdUndo(new QPushButton(LoadResourceString(IDS_RESULTS_UNDO), this))
    , cmdClose(new QPushButton(LoadResourceString(IDS_CLOSE), this)) {
    setWindowTitle(LoadResourceString(IDS_RESULTS_TITLE) + u" - "_s + AppTitle());
    for (auto [widget, name] :
         std::initializer_list<std::pair<QWidget*, const char*>>{{chtOutcomes, "chtOutcomes"},
                                                                 {cboOutcome, "cboOutcome"},
                                                                 {txtSearch, "txtSearch"},
                                                                 {lblRows, "lblRows"},
                                                                 {tblValues, "tblValues"},
                                                                 {lblNote, "lblNote"},
                                                                 {lblCut, "lblCut"},
                                                                 {cmdCopy, "cmdCopy"},
                                                                 {cmdSave, "cmdSave"},
                                                                 {cmdUndo, "cmdUndo"},
                                                                 {cmdClose, "cmdClose"}})
        widget->setObjectName(QLatin1StringView(name));
    tblValues->setModel(model_);
    tblValues->setSelectionBehavior(QAbstractItemView::SelectRows);
    tblValues->setWordWrap(false);
    // Rows of one height, columns of set widths: nothing is measured over every row.
    tblValues->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    tblValues->verticalHeader()->setDefaultSectionSize(tblValues->fontMetrics().height() + 6);
    tblValues->verticalHeader()->hide();
    tblValues->horizontalHeader()->setStretchLastSection(true);
    // The run's order until a header is clicked.
    tblValues->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    tblValues->setSortingEnabled(true);
    for (const auto& [column, width] : {std::pair{0, 110}, {1, 170}, {2, 90}, {3, 170}})
        tblValues->setColumnWidth(column, width);
    auto* copy = new QAction(tblValues);
    copy->setShortcut(QKeySequence::Copy);
    tblValues->addAction(copy);
    connect(copy, &QAction::triggered, this, &ResultsView::cmdCopy_Click);

    auto* search = new QLabel(LoadResourceString(IDS_RESULTS_SEARCH), this);
    search->setBuddy(txtSearch);
    txtSearch->setClearButtonEnabled(true);
    auto* filters = new QHBoxLayout;
    filters->addWidget(cboOutcome, 1);
    filters->addWidget(search);
    filters->addWidget(txtSearch, 1);
    filters->addWidget(lblRows);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdCopy);
    buttons->addWidget(cmdSave);
    buttons->addWidget(cmdUndo);
    buttons->addStretch();
    buttons->addWidget(cmdClose);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(chtOutcomes);
    layout->addLayout(filters);
    layout->addWidget(tblValues, 1);
    layout->addWidget(lblNote);
    layout->addWidget(lblCut);
    layout->addLayout(buttons);
    lblNote->setWordWrap(true);
    lblCut->setWordWrap(true);
    lblNote->setText(actions_.note);
    lblNote->setVisible(!actions_.note.isEmpty());
    cmdUndo->setVisible(bool(actions_.undo));
    resize(820, 560);

    connect(cboOutcome, &QComboBox::activated, this, &ResultsView::cboOutcome_Click);
    connect(txtSearch, &QLineEdit::textChanged, this, &ResultsView::txtSearch_Change);
    connect(cmdCopy, &QPushButton::clicked, this, &ResultsView::cmdCopy_Click);
    connect(cmdSave, &QPushButton::clicked, this, &ResultsView::cmdSave_Click);
    connect(cmdUndo, &QPushButton::clicked, this, &ResultsView::cmdUndo_Click);
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::close);
    connect(chtOutcomes, &OutcomeChart::barClicked, this, [this](quint32 reasons) {
        const int index = cboOutcome->findData(reasons);
        if (index >= 0)
            cboOutcome_Click(index);
    });
    showResults();
}

ResultsView::~ResultsView() = default;

void ResultsView::showResults() {
    const QList<OutcomeChart::Bar> bars = barsOf(results_);
    chtOutcomes->setBars(bars);
    const quint32 chosen = cboOutcome->count() > 0 ? cboOutcome->currentData().toUInt() : ~0u;
    cboOutcome->clear();
    cboOutcome->addItem(LoadResourceString(IDS_RESULTS_ALL), ~0u);
    for (const OutcomeChart::Bar& bar : bars)
        cboOutcome->addItem(bar.label + u" ("_s + QLocale().toString(bar.count) + u')',
                            bar.reasons);
    cboOutcome->setCurrentIndex(std::max(cboOutcome->findData(chosen), 0));
    cmdUndo->setEnabled(results_.count(Outcome::Converted) > 0);
    lblCut->setText(FormatString(
        LoadResourceString(IDS_RESULTS_CUT),
        {QLocale().toString(results_.cutValues()), results_.cutCause(), RunResults::kHeldLength}));
    lblCut->setVisible(results_.cutValues() > 0);
    applyFilter();
}

void ResultsView::applyFilter() {
    model_->setFilter(cboOutcome->currentData().toUInt(), txtSearch->text());
    lblRows->setText(
        FormatString(LoadResourceString(IDS_RESULTS_ROWS), {QLocale().toString(model_->rowCount()),
                                                            QLocale().toString(results_.size())}));
}

void ResultsView::cboOutcome_Click(int index) {
    cboOutcome->setCurrentIndex(index);
    applyFilter();
}

void ResultsView::txtSearch_Change() {
    applyFilter();
}

void ResultsView::cmdCopy_Click() {
    QList<int> rows;
    for (const QModelIndex& index : tblValues->selectionModel()->selectedRows())
        rows << index.row();
    // Nothing selected: the rows the filter shows.
    if (rows.isEmpty()) {
        for (int row = 0; row < model_->rowCount(); ++row)
            rows << row;
    }
    std::sort(rows.begin(), rows.end());
    QString text;
    QString error;
    if (model_->copyText(rows, text, error)) {
        QGuiApplication::clipboard()->setText(text);
        return;
    }
    error[0] = error[0].toUpper();
    boxes_.ok(error, AppTitle(), MsgIcon::Exclamation);
}

void ResultsView::cmdSave_Click() {
    const QString path = actions_.chooseSavePath(this, LoadResourceString(IDS_RESULTS_SAVE),
                                                 LoadResourceString(IDS_RESULTS_SAVE_FILTER));
    if (path.isEmpty())
        return;
    // A report with values cut short is saved only when the user wants it so, knowing.
    if (results_.cutValues() > 0 &&
        boxes_.yesNo(FormatString(LoadResourceString(IDS_RESULTS_SAVE_CUT),
                                  {QLocale().toString(results_.cutValues()), results_.cutCause()}),
                     AppTitle(), MsgIcon::Exclamation, MsgAnswer::No) != MsgAnswer::Yes)
        return;
    QString error;
    if (RunReport::clashes(path, actions_.database))
        error = u"the report "_s + path +
                u" would replace a file the run reads or writes (the database, a log or a "
                "journal)"_s;
    else if (results_.saveReport(path, actions_.modes, error))
        return;
    boxes_.ok(FormatString(LoadResourceString(IDS_RESULTS_SAVE_FAILED), {error}), AppTitle(),
              MsgIcon::Exclamation);
}

void ResultsView::cmdUndo_Click() {
    if (boxes_.yesNo(FormatString(LoadResourceString(IDS_RESULTS_ASK_UNDO),
                                  {results_.count(Outcome::Converted)}),
                     AppTitle(), MsgIcon::Question, MsgAnswer::No) != MsgAnswer::Yes)
        return;
    // An unfinished undo is begun again from the start: what it tells of it tells anew.
    results_.truncate(runRows_);
    showResults();
    busy_ = true;
    const UndoEnd end = actions_.undo();
    busy_ = false;
    if (end == UndoEnd::NotBegun)
        return;
    // Put back once: a second undo would find only conflicts of its own making.
    if (end == UndoEnd::Done)
        actions_.undo = {};
    lblNote->setText(LoadResourceString(end == UndoEnd::Done ? IDS_RESULTS_UNDONE
                                                             : IDS_RESULTS_UNDO_UNFINISHED));
    lblNote->show();
    showResults();
    cmdUndo->setEnabled(end == UndoEnd::Unfinished);
}

void ResultsView::reject() {
    if (!busy_) {
        QDialog::reject();
        return;
    }
    if (actions_.stop)
        actions_.stop();
}

void ResultsView::closeEvent(QCloseEvent* event) {
    if (!busy_) {
        QDialog::closeEvent(event);
        return;
    }
    event->ignore();
    if (actions_.stop)
        actions_.stop();
}
