#pragma once

#include "ConversionRun.h"
#include "TextSpill.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringMatcher>

#include <array>
#include <limits>

// The groups the results view counts and filters by.
enum class Outcome : quint8 { Converted, Refused, NotANumber, Unreadable, LayoutOnly, Conflict };
constexpr int kOutcomes = 6;
Outcome outcomeOf(Unreadable reason);

constexpr int kRowReasons = int(Unreadable::UndoConflict) + 1;

// Every value a run told of, in the order it told them: what was converted and what was left
// out, and why. Held compactly (one text buffer, table and field names once), so that a run of
// hundreds of thousands of values costs tens of bytes a value besides its texts. A text longer
// than kHeldLength is held only as its beginning, enough to sort by; the whole of it goes to a
// temporary file and is read back to be shown, for the report, copies and the search.
class RunResults {
public:
    static constexpr qsizetype kHeldLength = 64;
    enum Part { Key, Label, Value, Detail };

    void add(const UnreadableValue& value);
    void addAll(QList<UnreadableValue>&& values);
    void clear();
    // Keeps the first rows only.
    void truncate(qsizetype rows);
    // Gives back what the growth kept in reserve, once no more rows come.
    void squeeze() {
        rows_.squeeze();
        text_.squeeze();
        spilled_.squeeze();
    }

    qsizetype size() const { return rows_.size(); }
    // The memory the rows hold, texts included.
    qint64 bytes() const {
        return qint64(rows_.capacity()) * qint64(sizeof(Row)) + qint64(text_.capacity()) * 2 +
               qint64(spilled_.capacity()) * qint64(sizeof(Spilled));
    }
    // The values held only as their beginning, as the temporary file could not take them (the
    // report and copies would hold them cut), and why.
    qsizetype cutValues() const { return cut_.size(); }
    const QString& cutCause() const { return cutCause_; }
    qint64 count(Unreadable reason) const { return counts_[size_t(reason)]; }
    qint64 count(Outcome outcome) const;

    Unreadable reason(qsizetype row) const { return Unreadable(rows_[row].reason); }
    const QString& table(qsizetype row) const { return names_[rows_[row].table]; }
    const QString& field(qsizetype row) const { return names_[rows_[row].field]; }
    const QString& country(qsizetype row) const { return names_[rows_[row].country]; }
    // What is held of the texts: the whole text, or its first kHeldLength units.
    QStringView key(qsizetype row) const { return text(row, Key); }
    QStringView label(qsizetype row) const { return text(row, Label); }
    QStringView value(qsizetype row) const { return text(row, Value); }
    QStringView detail(qsizetype row) const { return text(row, Detail); }
    // The whole text (up to most units), read back when it is not held; false with error set.
    bool whole(qsizetype row, Part part, QString& text, QString& error,
               qsizetype most = std::numeric_limits<qsizetype>::max()) const;
    // The row with its whole texts; false with error set.
    bool at(qsizetype row, UnreadableValue& value, QString& error) const;

    // The rows whose reason is among reasons (bit per Unreadable) and that hold search in one
    // of their cells, ignoring case.
    // Only among within when given (rows in the run's order).
    QList<quint32> select(quint32 reasons, const QString& search,
                          const QList<quint32>* within = nullptr) const;
    // Counts every change of the rows.
    quint64 changes() const { return changes_; }

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
        quint8 reason;   // an Unreadable, in a byte: the row stays 40 bytes
        bool spilled;    // a text of it is in the file
    };
    // Where the whole texts of a spilled row are in the file (-1: held whole).
    struct Spilled {
        qsizetype row;
        std::array<qint64, 4> start;
        std::array<qint64, 4> length;
    };

    QStringView text(qsizetype row, int part) const;
    const Spilled* spilledOf(qsizetype row) const;
    bool holds(qsizetype row, QStringView cell, int part, const QStringMatcher& search) const;
    quint32 nameIndex(const QString& name);

    QList<Row> rows_;
    QList<Spilled> spilled_; // by row
    QList<qsizetype> cut_;   // rows
    QString cutCause_;
    TextSpill spill_;
    QString text_;
    QStringList names_;
    QHash<QString, quint32> nameIndex_;
    std::array<qint64, kRowReasons> counts_{};
    quint64 changes_ = 0;
};
