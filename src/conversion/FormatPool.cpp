#include "FormatPool.h"

#include "NumberFormatting.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace {

FormatPool::Result formatOne(KanonicalFormatter& formatter, const QString& value) {
    FormatPool::Result result;
    try {
        QString copy = value;
        result.canonical = formatter.FormatKanonical(copy);
    } catch (...) {
        result.failure = std::current_exception();
    }
    return result;
}

} // namespace

// The threads besides the caller's, each with its copy of the formatter. A round hands them one
// batch; values are taken one at a time from a shared counter, so a slow value holds up nobody.
class FormatPool::Workers {
public:
    explicit Workers(int count) {
        copies_.resize(static_cast<size_t>(count));
        for (int i = 0; i < count; ++i)
            threads_.emplace_back([this, i] { work(static_cast<size_t>(i)); });
    }

    ~Workers() {
        {
            std::lock_guard lock(mutex_);
            quit_ = true;
        }
        wake_.notify_all();
        for (std::thread& thread : threads_)
            thread.join();
    }

    Workers(const Workers&) = delete;
    Workers& operator=(const Workers&) = delete;

    std::vector<std::unique_ptr<KanonicalFormatter>>& copies() { return copies_; }
    quint64 copiedGeneration = 0;

    void run(KanonicalFormatter& formatter, const QStringList& values, QList<Result>& results) {
        {
            std::lock_guard lock(mutex_);
            values_ = &values;
            results_ = &results;
            next_.store(0);
            open_ = true;
            ++round_;
        }
        wake_.notify_all();
        take(formatter);
        // A thread that has not woken by now has nothing left to take: only those at work are
        // waited for.
        std::unique_lock lock(mutex_);
        open_ = false;
        done_.wait(lock, [this] { return busy_ == 0; });
        values_ = nullptr;
        results_ = nullptr;
    }

private:
    void take(KanonicalFormatter& formatter) {
        const QStringList& values = *values_;
        for (qsizetype i = next_.fetch_add(1); i < values.size(); i = next_.fetch_add(1))
            (*results_)[i] = formatOne(formatter, values[i]);
    }

    void work(size_t index) {
        quint64 seen = 0;
        for (;;) {
            {
                std::unique_lock lock(mutex_);
                wake_.wait(lock, [&] { return quit_ || round_ != seen; });
                if (quit_)
                    return;
                seen = round_;
                if (!open_)
                    continue;
                ++busy_;
            }
            take(*copies_[index]);
            {
                std::lock_guard lock(mutex_);
                --busy_;
            }
            done_.notify_one();
        }
    }

    std::vector<std::unique_ptr<KanonicalFormatter>> copies_;
    std::vector<std::thread> threads_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    quint64 round_ = 0;
    size_t busy_ = 0;   // threads taking values
    bool open_ = false; // the round still has values to take
    bool quit_ = false;
    const QStringList* values_ = nullptr;
    QList<Result>* results_ = nullptr;
    std::atomic<qsizetype> next_{0};
};

FormatPool::FormatPool(int threads)
    : threads_(threads > 0 ? threads : defaultThreads()) {}

FormatPool::~FormatPool() = default;

int FormatPool::defaultThreads() {
    return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

// Copies of the formatter for the other threads, made again whenever it has a new component.
bool FormatPool::prepareCopies(KanonicalFormatter& formatter) {
    if (threads_ <= 1 || !formatter.hasComponent())
        return false;
    if (workers_ && workers_->copiedGeneration == formatter.componentGeneration())
        return true;
    std::vector<std::unique_ptr<KanonicalFormatter>> copies;
    for (int i = 1; i < threads_; ++i) {
        std::unique_ptr<KanonicalFormatter> copy = formatter.copyForThread();
        if (!copy)
            return false;
        copies.push_back(std::move(copy));
    }
    if (!workers_)
        workers_ = std::make_unique<Workers>(threads_ - 1);
    // The workers are asleep between rounds: their copies can change hands.
    workers_->copies().swap(copies);
    workers_->copiedGeneration = formatter.componentGeneration();
    return true;
}

QList<FormatPool::Result> FormatPool::format(KanonicalFormatter& formatter,
                                             const QStringList& values) {
    QList<Result> results(values.size());
    if (values.size() > 1 && prepareCopies(formatter)) {
        workers_->run(formatter, values, results);
        return results;
    }
    for (qsizetype i = 0; i < values.size(); ++i)
        results[i] = formatOne(formatter, values[i]);
    return results;
}
