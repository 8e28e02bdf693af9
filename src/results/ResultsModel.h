#pragma once

#include "RunResults.h"

#include <QAbstractTableModel>

// The results as a table a view shows: only the rows the filter lets through, in the order of a
// column or of the run, each read from the results when it is painted.
class ResultsModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { TableColumn, RecordColumn, FieldColumn, ValueColumn, OutcomeColumn, Columns };
    // Displayed cells are cut here; copies and the report keep the whole value.
    static constexpr qsizetype kShownLength = 300;
    // A copy is held whole in memory, twice over on the clipboard: beyond this, save the report.
    static constexpr qsizetype kCopyLength = 64 << 20;

    explicit ResultsModel(const RunResults& results, QObject* parent = nullptr);

    // Lets through the rows of these reasons (bit per Unreadable) that hold search.
    void setFilter(quint32 reasons, const QString& search);
    // The results changed (an undo added its conflicts): the filter is applied again.
    void refresh();
    qsizetype resultRow(int row) const { return shown_[row]; }

    // The rows as tab-separated lines, whole values, line breaks and tabs made visible; false
    // with error set when a value could not be read back or they pass kCopyLength.
    bool copyText(const QList<int>& rows, QString& text, QString& error) const;
    // A row's last column: the new value (detail), or why there is none.
    QString outcomeText(qsizetype row, const QString& detail) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    // column -1: the run's order.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

private:
    // The cell as held, or whole (false with error set when it cannot be read back).
    QString cell(qsizetype row, int column) const;
    bool wholeCell(qsizetype row, int column, QString& text, QString& error) const;
    void sortShown();

    const RunResults& results_;
    QList<quint32> shown_;
    quint32 reasons_ = ~0u;
    QString search_;
    quint64 selectedAt_ = ~0ull; // the results' changes when shown_ was chosen
    int sortColumn_ = -1;
    Qt::SortOrder sortOrder_ = Qt::AscendingOrder;
    QStringList headers_;
};
