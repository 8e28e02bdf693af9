#pragma once

#include "ErrorRecord.h"

#include <QStringList>
#include <QVariant>

#include <memory>
#include <optional>
#include <vector>

class RemoteLink;

// A table's cursor and edit buffer on the host, read a page of records per call. The page holds
// the records of one batch at most: a commit or begin drops it, so every value is read inside
// the transaction that writes it. Moves are owed to the host until a call needs them; a
// record's writes go with its Update. A host without pages is called for every step.
class RemoteCursor {
public:
    RemoteCursor(std::shared_ptr<RemoteLink> link, QString table);

    bool eof();
    void moveFirst(qint32 opt);
    void skip(qint32 count, qint32 opt);
    void update(qint32 opt);
    QString recordId();
    // Empty when the host names no keys.
    QString recordKey();
    QVariant value(const QString& field);
    void setValue(const QString& field, const QVariant& value);
    // The expression's value for the current record from the page, when the page has it and
    // no write since could have changed it.
    std::optional<QVariant> evaluation(const QString& text) const;
    void wantEvaluation(const QString& text);
    // Brings the host to the run's record, with the buffered values of the fields text names.
    void prepareEvaluation(const QString& text);
    // A call that needs the host where the run is (the visit's choices): moves first.
    void callHere(const QString& method, const QList<QVariant>& args);

    void sync();
    void dropPage();

private:
    struct Row {
        QString id;
        QString key;
        QList<QVariant> values;
        QList<QVariant> evaluations;
        QList<bool> evaluated;
    };

    bool paged() const;
    const Row* row() const;
    bool fetch();
    void flushWrites();
    void clearWrites();

    std::shared_ptr<RemoteLink> link_;
    QString table_;
    qint32 owed_ = 0; // Skip steps the host has not made yet
    qint32 skipOpt_ = 0;
    bool valid_ = false;
    std::vector<Row> rows_;
    size_t position_ = 0;
    bool eofAfter_ = false;
    QStringList pageFields_, pageTexts_;
    QStringList wantFields_, wantTexts_;
    QStringList written_;     // since the page was read: its evaluations may be out of date
    QStringList writtenHere_; // in this record: the page has its old values
    QStringList writeFields_;
    QList<QVariant> writeValues_;
    bool hostEdited_ = false; // the host's edit buffer holds values not yet updated
    std::optional<ErrorRecord> writeError_;
    qint32 batch_ = 16; // records to read per page: as many as the last batch took
    qint32 consumed_ = 0;
    bool keys_ = true;
};
