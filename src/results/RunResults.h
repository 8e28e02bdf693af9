#pragma once

#include "ConversionRun.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <array>

// The groups the results view counts and filters by.
enum class Outcome : quint8 { Converted, Refused, NotANumber, Unreadable, LayoutOnly, Conflict };
constexpr int kOutcomes = 6;
Outcome outcomeOf(Unreadable reason);

constexpr int kRowReasons = int(Unreadable::UndoConflict) + 1;

// Every value a run told of, in the order it told them: what was converted and what was left
// out, and why. Held compactly (one text buffer, table and field names once), so that a run of
// hundreds of thousands of values costs tens of bytes a value besides its texts.
class RunResults {
public:
    void add(const UnreadableValue& value);
    void addAll(QList<UnreadableValue>&& values);
    void clear();
    // Keeps the first rows only.
    void truncate(qsizetype rows);
    // Gives back what the growth kept in reserve, once no more rows come.
    void squeeze() {
        rows_.squeeze();
        text_.squeeze();
    }

    qsizetype size() const { return rows_.size(); }
    // The memory the rows hold, texts included.
    qint64 bytes() const {
        return qint64(rows_.capacity()) * qint64(sizeof(Row)) + qint64(text_.capacity()) * 2;
    }
    qint64 count(Unreadable reason) const { return counts_[size_t(reason)]; }
    qint64 count(Outcome outcome) const;

    Unreadable reason(qsizetype row) const { return rows_[row].reason; }
    const QString& table(qsizetype row) const { return names_[rows_[row].table]; }
    const QString& field(qsizetype row) const { return names_[rows_[row].field]; }
    const QString& country(qsizetype row) const { return names_[rows_[row].country]; }
    QStringView key(qsizetype row) const { return text(row, 0); }
    QStringView label(qsizetype row) const { return text(row, 1); }
    QStringView value(qsizetype row) const { return text(row, 2); }
    QStringView detail(qsizetype row) const { return text(row, 3); }
    UnreadableValue at(qsizetype row) const;

    // The rows whose reason is among reasons (bit per Unreadable) and that hold search in one
    // of their cells, ignoring case.
    QList<quint32> select(quint32 reasons, const QString& search) const;

    // The report of the values left out of canonical form, as the batch program writes it, in
    // a new file put in path's place; false with error set.
    bool saveReport(const QString& path, const FileModes& modes, QString& error) const;

private:
    struct Row {
        qint64 start;                  // of the key, then label, value and detail, in text_
        std::array<quint32, 4> length; // of each
        quint32 table;
        quint32 field;
        quint32 country; // few distinct texts: kept once, as the names are
        Unreadable reason;
    };

    QStringView text(qsizetype row, int part) const;
    quint32 nameIndex(const QString& name);

    QList<Row> rows_;
    QString text_;
    QStringList names_;
    QHash<QString, quint32> nameIndex_;
    std::array<qint64, kRowReasons> counts_{};
};
