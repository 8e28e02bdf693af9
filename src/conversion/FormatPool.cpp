#include "FormatPool.h"

#include "NumberFormatting.h"

#include <algorithm>

namespace {

// Texts named ahead that wait for a thread, at most: the run names two batches at a time.
constexpr size_t kMaxQueued = 4096;

// What the pool remembers a text by: the text itself, or with a country the country's length
// (two 16-bit halves), the country and the text, behind a mark no plain key starts with.
constexpr QChar kCountryMark(0xFFFF);

QString keyOf(const QString& text, const QString& country) {
    if (country.isEmpty() && !text.startsWith(kCountryMark))
        return text;
    const auto length = static_cast<quint32>(country.size());
    return kCountryMark + QChar(char16_t(length & 0xFFFF)) + QChar(char16_t(length >> 16)) +
           country + text;
}

std::pair<QString, QString> textAndCountry(const QString& key) {
    if (!key.startsWith(kCountryMark))
        return {key, {}};
    const qsizetype length = key[1].unicode() | (qsizetype(key[2].unicode()) << 16);
    return {key.sliced(3 + length), key.sliced(3, length)};
}

} // namespace

FormatPool::FormatPool(int threads)
    : threads_(threads > 0 ? threads : defaultThreads()) {}

FormatPool::~FormatPool() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    wake_.notify_all();
    for (std::thread& worker : workers_)
        worker.join();
}

int FormatPool::defaultThreads() {
    return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

qint64 FormatPool::formatted() const {
    std::lock_guard lock(mutex_);
    return formatted_;
}

// Remembered with value, or dropped (its formatting failed: whoever asks formats it again).
void FormatPool::settle(const QString& text, const FormattedValue* value) {
    const auto it = pending_.constFind(text);
    const bool ahead = it != pending_.cend() && *it == State::Ahead;
    if (it != pending_.cend())
        pending_.erase(it);
    if (value) {
        if (ahead)
            aheadNew_.insert(text);
        ++formatted_;
        memo_.remember(text, *value);
    }
    settled_.notify_all();
}

// Texts still waiting for a thread are forgotten: nobody formats them unless asked.
void FormatPool::dropQueue() {
    for (const QString& text : queue_) {
        if (const auto it = pending_.constFind(text); it != pending_.cend() && *it == State::Queued)
            pending_.erase(it);
    }
    queue_.clear();
}

void FormatPool::follow(KanonicalFormatter& formatter) {
    std::unique_lock lock(mutex_);
    dropQueue();
    settled_.wait(lock, [this] { return busy_ == 0; });
    pending_.clear();
    memo_.clear();
    aheadNew_.clear();
    aheadOld_.clear();
    generation_ = formatter.componentGeneration();
    std::vector<std::unique_ptr<KanonicalFormatter>> copies;
    for (int i = 1; i < threads_; ++i) {
        std::unique_ptr<KanonicalFormatter> copy = formatter.copyForThread();
        if (!copy) {
            copies.clear();
            break;
        }
        copies.push_back(std::move(copy));
    }
    // The workers are idle and nothing is queued: their copies can change hands.
    copies_.swap(copies);
    while (workers_.size() < copies_.size()) {
        const size_t index = workers_.size();
        workers_.emplace_back([this, index] { work(index); });
    }
}

void FormatPool::ahead(KanonicalFormatter& formatter, const QStringList& texts,
                       const QStringList& countries) {
    if (threads_ <= 1 || !formatter.hasComponent())
        return;
    if (formatter.componentGeneration() != generation_)
        follow(formatter);
    {
        std::lock_guard lock(mutex_);
        if (copies_.empty())
            return;
        dropQueue();
        aheadOld_ = std::move(aheadNew_);
        aheadNew_ = QSet<QString>();
        for (qsizetype i = 0; i < texts.size(); ++i) {
            if (queue_.size() >= kMaxQueued)
                break;
            const QString text = keyOf(texts[i], i < countries.size() ? countries[i] : QString());
            // Long texts are not remembered: formatted ahead, they would be formatted again.
            if (text.size() > FormatMemo::kMaxTextLength || pending_.contains(text) ||
                memo_.find(text))
                continue;
            pending_.insert(text, State::Queued);
            queue_.push_back(text);
        }
    }
    wake_.notify_all();
}

FormattedValue FormatPool::format(KanonicalFormatter& formatter, const QString& stored,
                                  const QString& country) {
    const QString text = keyOf(stored, country);
    // The first value makes the component; what is remembered belongs to it.
    const bool made = formatter.hasComponent();
    if (made && formatter.componentGeneration() != generation_)
        follow(formatter);
    std::unique_lock lock(mutex_);
    if (made) {
        for (;;) {
            if (const std::optional<FormattedValue> known = memo_.find(text)) {
                if (!aheadNew_.remove(text) && !aheadOld_.remove(text))
                    ++remembered_;
                return *known;
            }
            const auto it = pending_.find(text);
            if (it == pending_.end()) {
                pending_.insert(text, State::Working);
                break;
            }
            if (*it == State::Queued) {
                *it = State::Working;
                break;
            }
            // Another thread is at it: its answer is this thread's answer.
            settled_.wait(lock);
        }
    }
    lock.unlock();
    FormattedValue value;
    try {
        QString copy = stored;
        value = formatter.format(copy, country);
    } catch (...) {
        lock.lock();
        settle(text, nullptr);
        throw;
    }
    if (!made && formatter.hasComponent())
        follow(formatter);
    lock.lock();
    settle(text, &value);
    return value;
}

// Takes the text named last first: the run works through a batch from its front, so the two
// meet late.
void FormatPool::work(size_t index) {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return quit_ || !queue_.empty(); });
        if (quit_)
            return;
        const QString text = queue_.back();
        queue_.pop_back();
        const auto it = pending_.find(text);
        if (it == pending_.end() || *it != State::Queued)
            continue;
        *it = State::Ahead;
        ++busy_;
        KanonicalFormatter& formatter = *copies_[index];
        lock.unlock();
        FormattedValue value;
        bool ok = true;
        try {
            auto [copy, country] = textAndCountry(text);
            value = formatter.format(copy, country);
        } catch (...) {
            ok = false;
        }
        lock.lock();
        --busy_;
        settle(text, ok ? &value : nullptr);
    }
}
