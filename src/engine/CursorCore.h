#pragma once

#include "EngineCore.h"
#include "VdbErrors.h"
#include "VisitOrder.h"

#include <QString>
#include <QVariant>

#include <memory>
#include <optional>
#include <vector>

// The cursor both engines share: which records a table's visit shows and in which order (row
// ids, or an index's snapshot), where it stands, and the edit buffer of its current record. An
// engine reads the snapshot, the pages and the records in its own SQL.
class CursorCore : public EngineCore, public std::enable_shared_from_this<CursorCore> {
public:
    CursorCore(QString fileName, Catalogue catalogue, Login login, EngineError error);

    const QString& fileName() const override { return fileName_; }
    const Catalogue& catalogue() const override { return catalogue_; }
    const Login& login() const override { return login_; }

    std::shared_ptr<Table> tableHandle(int t) override;
    int tableIndex(const QString& name) const override;
    int fieldIndex(int t, const QString& name) const override;

    void activateIndex(int t, int index) override;
    void setShowMarked(int t, bool on) override;
    void setShowUnmarked(int t, bool on) override;
    void moveFirst(int t) override;
    void skip(int t, qint32 count) override;
    bool eof(int t) override;
    QString recordId(int t) override;
    QVariant value(int t, int field) override;
    QList<QVariantList> readAhead(int t, const std::vector<int>& fields, qint32 count) override;
    void setValue(int t, int field, const QVariant& value) override;

    // value converted to what field f of table t stores; fails with TypeMismatch.
    virtual QVariant storedValue(int t, int field, const QVariant& value) const;

protected:
    static constexpr int kPageSize = 256;

    struct Visit {
        int activeIndex = -1;
        bool showMarked = true;
        bool showUnmarked = true;
        bool eof = true;
        // MoveFirst was called and the visit starts at the next look at the cursor, so that
        // ShowMarked and ShowUnmarked right after MoveFirst still choose what it visits.
        bool pending = false;
        std::unique_ptr<VisitOrder> order; // none for row-id order
        qint64 lastKey = 0;                // last row id read (row-id order)
        bool exhausted = true;             // no further page to read
        size_t pagePosition = 0;
        bool loaded = false; // the current record's values are read
        std::vector<std::optional<QVariant>> edits;
        bool dirty = false;
        quint64 visit = 0; // counts the visits begun, so that a place outlives none
    };

    const TableDef& table(int t) const { return catalogue_.tables[t]; }
    ErrorRecord error(quint32 code, const QString& description) const {
        return error_(code, description);
    }

    // The filter (" AND ...") of the records the visit shows, over the table as t.
    QString visitFilter(int t, const QString& marksTable);
    // The next page of the snapshot appended to ids; false at its end.
    bool nextOrderPage(Visit& visit, std::vector<qint64>& ids);
    void startIfPending(int t);
    // Starts the visit if pending and reads the current record; fails with NoCurrentRecord.
    void requireCurrent(int t);
    static void dropEdits(Visit& visit);

    // The visit of table t, as the engine keeps it.
    virtual Visit& visitOf(int t) = 0;
    // Drops the page read and anything read with it.
    virtual void clearPage(int t) = 0;
    // Before the first page of a visit in row-id order.
    virtual void startRowIdVisit(int /*t*/) {}
    // The row ids of the records the visit shows, in the active index's order.
    virtual void readOrder(int t, VisitOrder& order) = 0;
    // To the next record of the visit, or to its end.
    virtual void advance(int t) = 0;
    // readAhead on a visit that stands at a record, count above 0.
    virtual QList<QVariantList> readAheadAt(int t, const std::vector<int>& fields,
                                            qint32 count) = 0;
    // Reads the current record again; false when it no longer exists.
    virtual bool loadCurrent(int t) = 0;
    // The current record's row id and stored values, once read.
    virtual qint64 currentId(int t) = 0;
    virtual const QVariant& currentValue(int t, int field) = 0;
    // What a stored value that came as bytes is not, in the engine's words ("valid UTF-8 text").
    virtual QString notText() const = 0;

private:
    QString fileName_;
    Catalogue catalogue_;
    Login login_;
    EngineError error_;
    std::vector<std::weak_ptr<Table>> handles_;
};
