#pragma once

#include "UnreadableReason.h"

#include <QHash>
#include <QString>

#include <optional>

// Remembers what formatting made of stored texts within one run (one location), so that a
// text repeated in the data (a switchboard number, a shared fax line) is formatted once.
// Bounded: at most 2 * kGenerationSize entries of at most kMaxTextLength characters each, so
// memory stays flat on a table of unique values. When the current generation is full it
// becomes the previous one and the one before is dropped; a hit in the previous generation
// moves to the current one, so texts that keep coming back stay.
// Not thread-safe: owned by one thread (the run's), which looks values up before handing the
// misses to the formatting threads and remembers their results.
class FormatMemo {
public:
    static constexpr qsizetype kGenerationSize = 16384;
    static constexpr qsizetype kMaxTextLength = 128;

    std::optional<FormattedValue> find(const QString& stored);
    // Longer texts are not kept: they are rarely repeated and would make the bound large.
    void remember(const QString& stored, const FormattedValue& formatted);

    qsizetype size() const { return current_.size() + previous_.size(); }
    void clear();

private:
    void insert(const QString& stored, const FormattedValue& formatted);

    QHash<QString, FormattedValue> current_;
    QHash<QString, FormattedValue> previous_;
};
