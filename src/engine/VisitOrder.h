#pragma once

#include "VdbErrors.h"

#include <QTemporaryFile>

#include <vector>

// The row ids of a visit in an index's order, fixed when the visit starts, so that rewriting an
// indexed field can neither skip nor revisit a record. They go to a temporary file: memory stays
// flat however big the table.
class VisitOrder {
public:
    // Fails with StorageFailure (made by error) when no temporary file can be created.
    explicit VisitOrder(EngineError error);

    // Appends a row id; finish() writes the last ones.
    void add(qint64 id);
    void finish();

    qint64 position() const { return position_; }
    void setPosition(qint64 position) { position_ = position; }
    // Up to count ids from the position on, appended to ids; the number read (0 at the end).
    qint64 read(qint64 count, std::vector<qint64>& ids);

private:
    void flush();

    EngineError error_;
    QTemporaryFile file_;
    std::vector<qint64> buffer_;
    qint64 count_ = 0;
    qint64 position_ = 0;
};
