#include "ResultsModel.h"

#include "ChangeLog.h"
#include "GlobalDefs.h"
#include "StringTable.h"
#include "UnreadableValue.h"

#include <algorithm>

using namespace Qt::StringLiterals;

ResultsModel::ResultsModel(const RunResults& results, QObject* parent)
    : QAbstractTableModel(parent)
    , results_(results)
    , headers_(LoadResourceString(IDS_RESULTS_COLUMNS).split(u'|')) {
    refresh();
}

void ResultsModel::setFilter(quint32 reasons, const QString& search) {
    // Typing on: only the rows shown can hold the longer text. Long values are read back from
    // their file to be searched, so each key searches less of them.
    const bool narrower = reasons == reasons_ && selectedAt_ == results_.changes() &&
                          !search_.isEmpty() && search.contains(search_, Qt::CaseInsensitive);
    reasons_ = reasons;
    search_ = search;
    if (!narrower) {
        refresh();
        return;
    }
    beginResetModel();
    std::sort(shown_.begin(), shown_.end());
    shown_ = results_.select(reasons_, search_, &shown_);
    sortShown();
    endResetModel();
}

void ResultsModel::refresh() {
    beginResetModel();
    shown_ = results_.select(reasons_, search_);
    selectedAt_ = results_.changes();
    sortShown();
    endResetModel();
}

void ResultsModel::sort(int column, Qt::SortOrder order) {
    if (column < 0 && sortColumn_ < 0)
        return; // in the run's order already
    sortColumn_ = column;
    sortOrder_ = order;
    beginResetModel();
    std::sort(shown_.begin(), shown_.end());
    sortShown();
    endResetModel();
}

void ResultsModel::sortShown() {
    if (sortColumn_ < 0 || sortColumn_ >= Columns)
        return;
    // What is held of each text is compared, without making a text a row: a sort of hundreds
    // of thousands of rows stays quick. Outcomes go by their reason's name, then the new value.
    std::array<QString, kRowReasons> names;
    for (int r = 0; r < kRowReasons; ++r)
        names[size_t(r)] =
            Unreadable(r) == Unreadable::Converted ? QString() : unreadableName(Unreadable(r));
    const auto key = [this, &names](quint32 row) -> std::pair<QStringView, QStringView> {
        switch (sortColumn_) {
        case TableColumn:
            return {results_.table(row), {}};
        case RecordColumn:
            return {results_.label(row).isEmpty() ? results_.key(row) : results_.label(row), {}};
        case FieldColumn:
            return {results_.field(row), {}};
        case ValueColumn:
            return {results_.value(row), {}};
        default:
            return {names[size_t(results_.reason(row))], results_.detail(row)};
        }
    };
    const auto less = [&key](quint32 a, quint32 b) {
        const auto [a1, a2] = key(a);
        const auto [b1, b2] = key(b);
        const int first = a1.compare(b1, Qt::CaseInsensitive);
        return first != 0 ? first < 0 : a2.compare(b2, Qt::CaseInsensitive) < 0;
    };
    if (sortOrder_ == Qt::AscendingOrder)
        std::stable_sort(shown_.begin(), shown_.end(), less);
    else
        std::stable_sort(shown_.begin(), shown_.end(),
                         [&less](quint32 a, quint32 b) { return less(b, a); });
}

QString ResultsModel::outcomeText(qsizetype row, const QString& detail) const {
    const Unreadable reason = results_.reason(row);
    if (reason == Unreadable::Converted)
        return detail;
    QString name = unreadableName(reason);
    if (outcomeOf(reason) == Outcome::Unreadable)
        name = FormatString(LoadResourceString(IDS_RESULTS_UNREADABLE), {name});
    return detail.isEmpty() ? name : name + u": "_s + detail;
}

QString ResultsModel::cell(qsizetype row, int column) const {
    // A long text is read back only as far as a cell shows it.
    const auto shown = [this, row](RunResults::Part part, QStringView held) {
        QString text;
        QString error;
        if (!results_.whole(row, part, text, error, kShownLength + 1))
            text = held + u'…'; // unreadable: it is not all there
        return text;
    };
    switch (column) {
    case TableColumn:
        return results_.table(row);
    case RecordColumn:
        return results_.label(row).isEmpty() ? shown(RunResults::Key, results_.key(row))
                                             : shown(RunResults::Label, results_.label(row));
    case FieldColumn:
        return results_.field(row);
    case ValueColumn:
        return shown(RunResults::Value, results_.value(row));
    case OutcomeColumn:
        return outcomeText(row, shown(RunResults::Detail, results_.detail(row)));
    default:
        return {};
    }
}

bool ResultsModel::wholeCell(qsizetype row, int column, QString& text, QString& error) const {
    using Part = RunResults::Part;
    switch (column) {
    case RecordColumn:
        return results_.whole(row, results_.label(row).isEmpty() ? Part::Key : Part::Label, text,
                              error);
    case ValueColumn:
        return results_.whole(row, Part::Value, text, error);
    case OutcomeColumn: {
        QString detail;
        if (!results_.whole(row, Part::Detail, detail, error))
            return false;
        text = outcomeText(row, detail);
        return true;
    }
    default:
        text = cell(row, column);
        return true;
    }
}

bool ResultsModel::copyText(const QList<int>& rows, QString& text, QString& error) const {
    text.clear();
    QString whole;
    for (const int row : rows) {
        for (int c = 0; c < Columns; ++c) {
            if (!wholeCell(shown_[row], c, whole, error))
                return false;
            text += ChangeLog::visible(whole).replace(u'\t', u' ');
            text += c + 1 < Columns ? u'\t' : u'\n';
        }
        if (text.size() > kCopyLength) {
            text.clear();
            error = FormatString(LoadResourceString(IDS_RESULTS_COPY_TOO_LARGE),
                                 {QLocale().toString(kCopyLength)});
            return false;
        }
    }
    return true;
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
