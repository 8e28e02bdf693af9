#pragma once

#include <QString>
#include <QtGlobal>

#include <span>

// splitmix64: small, fast, and the same sequence on every platform and library version (the
// std:: distributions are not), so that a seed always makes the same demo data.
class DemoRandom {
public:
    explicit DemoRandom(quint64 state)
        : state_(state) {}

    // The generator for one item of one stream: every (seed, stream, index) draws on its own, so
    // any item can be made without the ones before it.
    static DemoRandom forItem(quint64 seed, quint64 stream, quint64 index) {
        DemoRandom mixer(seed);
        mixer.state_ = mixer.next() ^ stream;
        mixer.state_ = mixer.next() ^ index;
        return DemoRandom(mixer.next());
    }

    quint64 next() {
        quint64 z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

    // A number in [0, n), n > 0; the bias of the modulo is far below anything visible.
    int below(int n) { return static_cast<int>(next() % static_cast<quint64>(n)); }
    int between(int low, int high) { return low + below(high - low + 1); }
    bool chance(int percent) { return below(100) < percent; }

    template <class T>
    const T& pick(std::span<const T> items) {
        return items[static_cast<size_t>(below(static_cast<int>(items.size())))];
    }

    // An index into weights, drawn in proportion to them.
    int weighted(std::span<const int> weights) {
        int total = 0;
        for (const int w : weights)
            total += w;
        int draw = below(total);
        for (size_t i = 0; i < weights.size(); ++i) {
            if (draw < weights[i])
                return static_cast<int>(i);
            draw -= weights[i];
        }
        return static_cast<int>(weights.size()) - 1;
    }

    // count decimal digits, the first one from first to 9.
    QString digits(int count, int first = 2) {
        QString text;
        text.reserve(count);
        for (int i = 0; i < count; ++i)
            text += QChar(u'0' + (i == 0 ? between(first, 9) : below(10)));
        return text;
    }

private:
    quint64 state_;
};
