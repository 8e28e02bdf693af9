#include "ResultsModel.h"

#include "ChangeLog.h"
#include "GlobalDefs.h"
#include "StringTable.h"
#include "UnreadableValue.h"

using namespace Qt::StringLiterals;

ResultsModel::ResultsModel(const RunResults& results, QObject* parent)
    : QAbstractTableModel(parent)
    , results_(results)
    , headers_(LoadResourceString(IDS_RESULTS_COLUMNS).split(u'|')) {
    refresh();
}

void ResultsModel::setFilter(quint32 reasons, const QString& search) {
    reasons_ = reasons;
    search_ = search;
    refresh();
}

void ResultsModel::refresh() {
    beginResetModel();
    shown_ = results_.select(reasons_, search_);
    endResetModel();
}

QString ResultsModel::outcomeText(qsizetype row) const {
    const Unreadable reason = results_.reason(row);
    const QString detail = results_.detail(row).toString();
    if (reason == Unreadable::Converted)
        return detail;
    QString name = unreadableName(reason);
    if (outcomeOf(reason) == Outcome::Unreadable)
        name = FormatString(LoadResourceString(IDS_RESULTS_UNREADABLE), {name});
    return detail.isEmpty() ? name : name + u": "_s + detail;
}

QString ResultsModel::cell(qsizetype row, int column) const {
    switch (column) {
    case TableColumn:
        return results_.table(row);
    case RecordColumn:
        return results_.label(row).isEmpty() ? results_.key(row).toString()
                                             : results_.label(row).toString();
    case FieldColumn:
        return results_.field(row);
    case ValueColumn:
        return results_.value(row).toString();
    case OutcomeColumn:
        return outcomeText(row);
    default:
        return {};
    }
}

QString ResultsModel::copyText(const QList<int>& rows) const {
    QString text;
    for (const int row : rows) {
        QStringList cells;
        for (int c = 0; c < Columns; ++c)
            cells << ChangeLog::visible(cell(shown_[row], c)).replace(u'\t', u' ');
        text += cells.join(u'\t') + u'\n';
    }
    return text;
}

int ResultsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(shown_.size());
}

int ResultsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : Columns;
}

QVariant ResultsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= shown_.size())
        return {};
    const qsizetype row = shown_[index.row()];
    if (role == Qt::ToolTipRole && index.column() == OutcomeColumn)
        return unreadableKey(results_.reason(row));
    if (role != Qt::DisplayRole)
        return {};
    // A value of megabytes would make every repaint slow; line breaks would hide the rest.
    QString text = cell(row, index.column());
    if (text.size() > kShownLength)
        text = text.first(kShownLength) + u'…';
    return ChangeLog::visible(text);
}

QVariant ResultsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section >= headers_.size())
        return {};
    return headers_[section];
}
