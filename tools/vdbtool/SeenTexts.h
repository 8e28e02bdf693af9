#pragma once

#include <QString>
#include <QtGlobal>

#include <vector>

// The texts written so far, as 64-bit hashes in an open-addressing table: a few bytes a value
// where the texts themselves would take a hundred.
class SeenTexts {
public:
    // False when text was seen before (or, once in billions, one with the same hash).
    bool insert(const QString& text) {
        if ((count_ + 1) * 10 > static_cast<qint64>(slots_.size()) * 7)
            grow();
        if (!place(slots_, hash(text)))
            return false;
        ++count_;
        return true;
    }

private:
    // FNV-1a with a final mix: the same on every machine, unlike qHash.
    static quint64 hash(const QString& text) {
        quint64 h = 0xCBF29CE484222325ull;
        for (const QChar c : text) {
            h ^= c.unicode();
            h *= 0x100000001B3ull;
        }
        h = (h ^ (h >> 33)) * 0xFF51AFD7ED558CCDull;
        h ^= h >> 33;
        return h == 0 ? 1 : h; // 0 marks a free slot
    }
    static bool place(std::vector<quint64>& slots, quint64 h) {
        const size_t mask = slots.size() - 1;
        for (size_t i = h & mask;; i = (i + 1) & mask) {
            if (slots[i] == h)
                return false;
            if (slots[i] == 0) {
                slots[i] = h;
                return true;
            }
        }
    }
    void grow() {
        std::vector<quint64> bigger(slots_.size() * 2);
        for (const quint64 h : slots_) {
            if (h != 0)
                place(bigger, h);
        }
        slots_.swap(bigger);
    }

    std::vector<quint64> slots_ = std::vector<quint64>(1 << 12);
    qint64 count_ = 0;
};
