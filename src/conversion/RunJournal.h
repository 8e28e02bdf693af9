#pragma once

#include "RunFiles.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QFile;

// One stored change: where (table, record key, field) and what (old and new value).
struct JournalEntry {
    QString table;
    QString key;
    QString field;
    QString oldValue;
    QString newValue;
};

using FieldPairKey = std::pair<QString, QString>; // table, field

// What a journal says besides its changes.
struct JournalFacts {
    QStringList databases;     // as its run headers name them
    QSet<FieldPairKey> fields; // the fields its runs chose: the only ones they could change
    bool cutOff = false;       // its last line has no end
    bool unkeyed = false;      // a run wrote it that could not key its records
    qint64 runs = 0;           // the runs the journal holds (read by number)
    qint64 run = 0;            // the number of the run read; 0: none (or all)
};

// Which part of a journal a read takes. A journal holds one or more runs: one from each header
// line of a journal written before runs were marked, else one from each run mark.
struct JournalPart {
    qint64 run = -1;    // the run with this number (1-based, in journal order); 0: the last
    qint64 offset = -1; // else, >= 0: the run whose mark begins at this byte
    static JournalPart all() { return {}; }
    static JournalPart last() { return {0, -1}; }
    static JournalPart number(qint64 n) { return {n, -1}; }
    static JournalPart at(qint64 offset) { return {-1, offset}; }
};

// The machine-readable twin of the change log: JSON Lines beside the log (same base name,
// ".jsonl"), one array per stored change, so that values holding " -> " or line breaks read
// back exactly. A record's changes wait until flush(), which the run calls before it stores the
// record: a record whose lines could not be written is not stored. A failed write takes back
// what it wrote of its lines, so the file never holds half a line followed by more. An object
// line {"undone": n} takes back the n changes before it (a batch that did not commit).
// Failures throw ErrorRecord.
class RunJournal {
public:
    RunJournal();
    ~RunJournal();
    RunJournal(const RunJournal&) = delete;
    RunJournal& operator=(const RunJournal&) = delete;

    static QString pathFor(const QString& logPath);
    static constexpr auto kFormat = "telnormer-journal";
    // 2: runs are marked, each with its number; 1: one run from each header line.
    static constexpr int kVersion = 2;

    // Creates the journal at path, a new file with that mode (never one that is there already: a
    // planted journal would be undone later); a header line names the database.
    void open(const QString& path, const QString& databaseFileName, const FileModes& modes = {});
    bool isOpen() const { return file_ != nullptr; }
    const QString& path() const { return path_; }
    void write(const JournalEntry& entry);
    void flush();
    // The last count changes flushed were not stored after all.
    void markUndone(qint32 count);
    // A run's start: its mark, with the fields it may change. Until a mark is written no change
    // is: it would be taken for the run before.
    void runFields(const QList<FieldPairKey>& fields);
    // Where the mark of the latest run begins, for JournalPart::at; -1 when none was written.
    qint64 runStart() const { return runStart_; }
    // Which file the open journal is, and which one is at path now (empty: none), so that a
    // later read can tell the run's own journal from one put in its place.
    QByteArray fileId() const;
    static QByteArray fileIdAt(const QString& path);
    // The run cannot key its records: its changes cannot be undone and are not written.
    void markUnkeyed();
    void close();

    // The changes of a journal file (or of one of its runs) in order, without those taken back;
    // fails on a line that is not one of ours, and with modes on a journal someone else could
    // have written (see RunFiles::makeFolder). A run that is not there reads nothing: facts.run
    // stays 0.
    static JournalFacts read(const QString& path, const std::function<void(JournalEntry&&)>& each,
                             const FileModes* modes = nullptr, JournalPart part = {});
    static QList<JournalEntry> read(const QString& path);

private:
    void writeObject(const QByteArray& json, bool flush = false);

    std::unique_ptr<QFile> file_;
    QString path_;
    QByteArray pending_;
    bool broken_ = false;   // a failed write could not be taken back: nothing more is written
    bool unmarked_ = false; // the latest run's mark could not be written
    qint64 runs_ = 0;
    qint64 runStart_ = -1;
};

// What an undo puts back: for each (table, record key, field) the value before the first
// change and the value after the last, from one journal.
class UndoPlan {
public:
    // Reads the journal at path (or one of its runs) into the plan; fails as RunJournal::read.
    void read(const QString& path, const FileModes* modes = nullptr, JournalPart part = {});
    // Journal entries in their order; one without a record key is kept aside.
    void add(JournalEntry&& entry);
    const JournalFacts& facts() const { return facts_; }
    JournalFacts& facts() { return facts_; }
    // The journal read; empty when the entries were added one by one.
    const QString& path() const { return path_; }
    // Entries that name no record.
    const QList<JournalEntry>& keyless() const { return keyless_; }
    // The entries of one (table, field) by record key, or null.
    const QHash<QString, JournalEntry>* entries(const QString& table, const QString& field) const;
    // The (table, field) pairs the journal touches, in the order they first appear.
    const QList<std::pair<QString, QString>>& fields() const { return fields_; }
    // The change to put back, or null when the journal has none for that place.
    const JournalEntry* find(const QString& table, const QString& key, const QString& field) const;
    bool isEmpty() const { return fields_.isEmpty(); }

private:
    // By (table, field), then record key: a journal of a million changes names few fields, so
    // the entries share those names instead of each holding a copy.
    QHash<std::pair<QString, QString>, QHash<QString, JournalEntry>> changes_;
    QList<std::pair<QString, QString>> fields_;
    QList<JournalEntry> keyless_;
    JournalFacts facts_;
    QString path_;
};
