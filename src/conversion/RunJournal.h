#pragma once

#include "RunFiles.h"

#include <QHash>
#include <QList>
#include <QString>

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

// The machine-readable twin of the change log: JSON Lines beside the log (same base name,
// ".jsonl"), one object per stored change, so that values holding " -> " or line breaks read
// back exactly. Changes wait in the file's buffer until flush(), which the run calls before the
// batch commits. Failures throw ErrorRecord.
class RunJournal {
public:
    RunJournal();
    ~RunJournal();
    RunJournal(const RunJournal&) = delete;
    RunJournal& operator=(const RunJournal&) = delete;

    static QString pathFor(const QString& logPath);

    // Creates the journal at path, a new file with that mode (never one that is there already: a
    // planted journal would be undone later); a run header line names the database.
    void open(const QString& path, const QString& databaseFileName, const FileModes& modes = {});
    bool isOpen() const { return file_ != nullptr; }
    const QString& path() const { return path_; }
    void write(const JournalEntry& entry);
    void flush();
    void close();

    // The changes of a journal file in order; fails on a line that is not one of ours, and with
    // modes on a journal someone else could have written (see RunFiles::makeFolder).
    static void read(const QString& path, const std::function<void(JournalEntry&&)>& each,
                     const FileModes* modes = nullptr);
    static QList<JournalEntry> read(const QString& path);

private:
    void writeObject(const QByteArray& json, bool flush = false);

    std::unique_ptr<QFile> file_;
    QString path_;
};

// What an undo puts back: for each (table, record key, field) the value before the first
// change and the value after the last, from one journal.
class UndoPlan {
public:
    // Journal entries in their order.
    void add(JournalEntry&& entry);
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
};
