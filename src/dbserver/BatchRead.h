#pragma once

#include <QList>
#include <QStringList>
#include <QVariantList>

// Reading the records of a batch in one go. Not every Table offers it: callers ask with
// dynamic_cast and read record by record without it.
class BatchRead {
public:
    virtual ~BatchRead() = default;
    // The values of the named fields (as Field.Value gives them) in the current record and in the
    // records the cursor visits after it: count records at most, in visit order, fewer at the
    // end, none past it. Reads the database now, with one statement; the cursor stays where it
    // is. Inside the caller's open transaction, which keeps other writers out, the records need
    // no further reading when the cursor reaches them.
    virtual QList<QVariantList> ReadAhead(const QStringList& fields, qint32 count) = 0;
};
