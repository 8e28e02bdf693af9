#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <exception>
#include <memory>

class KanonicalFormatter;

// Formats the values of a batch on several threads and hands the results back in the batch's
// order, so that whoever writes them sees what one thread would have given. The caller's thread
// formats with the run's formatter; every other thread with a copy of its own, made when the
// formatter's component changes. Without a component that can be copied, everything is formatted
// on the caller's thread, one value after the other.
class FormatPool {
public:
    // One value's canonical form, or what its formatting threw.
    struct Result {
        QString canonical;
        std::exception_ptr failure;
        // The canonical form; rethrows the failure.
        const QString& get() const {
            if (failure)
                std::rethrow_exception(failure);
            return canonical;
        }
    };

    // threads formatting, the caller's included: 0 means one per core, 1 no thread of its own.
    explicit FormatPool(int threads = 0);
    ~FormatPool();
    FormatPool(const FormatPool&) = delete;
    FormatPool& operator=(const FormatPool&) = delete;

    int threads() const { return threads_; }

    // The canonical form of every value, in the order of values.
    QList<Result> format(KanonicalFormatter& formatter, const QStringList& values);

    // The threads a pool of 0 threads uses.
    static int defaultThreads();

private:
    class Workers;

    bool prepareCopies(KanonicalFormatter& formatter);

    int threads_;
    std::unique_ptr<Workers> workers_;
};
