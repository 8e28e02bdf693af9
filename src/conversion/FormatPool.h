#pragma once

#include "FormatMemo.h"
#include "UnreadableReason.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class KanonicalFormatter;

// Formats stored texts once each per run, on every core. The run asks for the formatted text of
// each value in visit order on its own thread and gets what its own formatter would give; texts
// it names ahead (the batches to come) are formatted meanwhile on the other threads, each with a
// copy of the run formatter's component, so that formatting overlaps the run's database work.
// A text the run asks for is remembered, formatted ahead, being formatted by another thread
// (waited for) or formatted now on the run's thread. Failures are never remembered: a text
// whose formatting failed elsewhere is formatted again on the run's thread, which sees the
// failure as one thread would. Remembered as FormatMemo bounds it, so memory stays flat on a
// table of unique values.
class FormatPool {
public:
    // threads formatting, the run's own included: 0 means one per core, 1 no other thread.
    explicit FormatPool(int threads = 0);
    ~FormatPool();
    FormatPool(const FormatPool&) = delete;
    FormatPool& operator=(const FormatPool&) = delete;

    int threads() const { return threads_; }

    // Hands texts to the other threads, formatted in the order given. Does nothing before the
    // formatter has its component (it is made by the first format()) or with one thread.
    // countries, when given, holds each text's record country.
    void ahead(KanonicalFormatter& formatter, const QStringList& texts,
               const QStringList& countries = {});
    // The formatted text (KanonicalFormatter::format); throws what that throws.
    FormattedValue format(KanonicalFormatter& formatter, const QString& text,
                          const QString& country = {});

    // Texts formatted (by any thread, ahead included), and values whose text was asked for
    // before (as a run on one thread would count them).
    qint64 formatted() const;
    qint64 remembered() const { return remembered_; }

    // The threads a pool of 0 threads uses.
    static int defaultThreads();

private:
    // A text named ahead waits for a thread (Queued), or a text is being formatted by the run's
    // thread (Working) or by another (Ahead).
    enum class State { Queued, Working, Ahead };

    // Takes the formatter's component: copies for the other threads, nothing remembered from
    // an earlier one. Runs with no other thread at work.
    void follow(KanonicalFormatter& formatter);
    void settle(const QString& text, const FormattedValue* value);
    void dropQueue();
    void work(size_t index);

    int threads_;
    std::vector<std::unique_ptr<KanonicalFormatter>> copies_;
    std::vector<std::thread> workers_;
    quint64 generation_ = 0; // of the component the copies were made from
    mutable std::mutex mutex_;
    std::condition_variable wake_;    // a text is queued, or quit
    std::condition_variable settled_; // a text is done or dropped, or a worker went idle
    std::deque<QString> queue_;
    QHash<QString, State> pending_; // at most the queue and one text a thread
    // Formatted ahead and not asked for yet, by the ahead() that named them: this one and the one
    // before.
    QSet<QString> aheadNew_;
    QSet<QString> aheadOld_;
    FormatMemo memo_;
    size_t busy_ = 0;
    bool quit_ = false;
    qint64 formatted_ = 0;
    qint64 remembered_ = 0;
};
