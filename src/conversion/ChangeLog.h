#pragma once

#include "RunJournal.h"

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QStringList>

#include <memory>

class QFile;

// The plain-text change log beside the database: one file for all runs of one main window,
// created by its first run in "Logs/Telnormer/" below the database's folder (for a database on
// a server: in the user's data folder, "Logs/Telnormer/<database name>/"). Every entry reaches
// the disk as it is written, so a viewer opened mid-run sees everything so far; only a record's
// header and change lines wait for flush(), which the run calls before it stores the record.
// UTF-8, no byte-order mark, CR LF line ends; a value's control characters are written escaped,
// so that each value stays on its line. Log and journal are always new files, no more readable
// than the database. Failures throw ErrorRecord.
class ChangeLog {
public:
    // locale gives the date and time format of the run headers.
    explicit ChangeLog(QLocale locale = QLocale::system());
    ~ChangeLog();
    ChangeLog(const ChangeLog&) = delete;
    ChangeLog& operator=(const ChangeLog&) = delete;

    // Start of a run: the first prepares folders and file and writes the first run header,
    // later ones write the separator and their header. A failed preparation leaves the log
    // unprepared, so the next run tries again.
    // A preview writes into a log of its own, whose name and run headers say so; switching
    // between preview and conversion starts a new file.
    void prepare(const QString& databaseFileName, const QDateTime& now, bool preview = false);
    bool isOpen() const { return file_ != nullptr; }
    bool isPreview() const { return preview_; }
    // The log file's path; empty before the first preparation.
    const QString& path() const { return path_; }
    // The journal beside the log; a preview has none.
    RunJournal& journal() { return journal_; }

    void tableHeader(const QString& table);
    void fieldNameLine(const QString& field);
    void tableHeaderEnd();
    void recordHeader(const QString& label, const QString& id);
    // The country a record's numbers were read in, where it is not the location's.
    void countryLine(const QString& country);
    void changeLine(const QString& field, const QString& oldValue, const QString& newValue);
    void flush();
    // notes are "Field <name>: <old value>", one per value of the record that was not stored.
    void validationFailure(const QStringList& notes);
    void errorEntry(qint32 number, const QString& description);
    void rollbackNotice();
    void runSummary(qint32 converted);
    // firstLine, then each further line, without a line end after the last.
    void runSummary(const QString& firstLine, const QStringList& more);
    // A value the run left as it was, named with why (in the record's block).
    void unchangedLine(const QString& field, const QString& reason);
    void stoppedByUser();
    // A line of its own, such as what became of a batch.
    void noteLine(const QString& text);

    // Closes the file; failures are ignored.
    void close();

    // text as the log writes it, one line that shows every character: a control character, or
    // one that is invisible or turns the text around, as a C escape ("\r", "\n", "\t", "\0",
    // else "\xHH", "\uHHHH" or "\UHHHHHHHH"); a backslash is doubled unless backslashes is
    // false, so that no escape can be forged either. The journal keeps the exact value.
    static QString visible(const QString& text, bool backslashes = true);

    // The log file path for a database file and the moment of the first run.
    static QString logPathFor(const QString& databaseFileName, const QDateTime& now,
                              bool preview = false);

private:
    QString stamp(const QDateTime& now) const;
    void write(const QString& text, bool flush = true);
    void writeLine(const QString& text, bool flush = true);

    QLocale locale_;
    std::unique_ptr<QFile> file_;
    QString path_;
    bool preview_ = false;
    RunJournal journal_;
};
