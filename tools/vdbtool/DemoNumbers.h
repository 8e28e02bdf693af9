#pragma once

#include <QString>
#include <QVariant>
#include <QtGlobal>

// Telephone values as people type them into a German database: German, Austrian, Swiss and US
// numbers in every common notation, and the values around them (no digits, empty, Null). The
// value for (seed, stream, index) is always the same, so tests and benchmarks can make any part
// of the demo data again.

enum class DemoNotation {
    National,              // 030 1234567, 0171 1234567
    International,         // +49 30 1234567, +41 44 123 45 67
    InternationalZeroZero, // 0041 44 123 45 67
    TrunkInBrackets,       // 0049 (0)30 1234567, +43 (0)316 123456
    NorthAmerican,         // +1 (425) 555-1212
    Local,                 // 1234567 (Berlin, the demo's area)
    AreaInBrackets,        // (030) 1234567
    Slash,                 // 030/1234567
    Hyphenated,            // 030-123 45 67
    DirectDial,            // 030 1234567-89
    Labelled,              // Tel. 030 1234567, 030 1234567 privat
    Canonical,             // +49 (30) 1234567
    NoDigits,              // n/a, unbekannt
    Empty,                 // ""
    Null,
    LongDirectDial, // 0221 12345678-123: 20 characters or fewer now, more in canonical form
};
constexpr int kDemoNotationCount = static_cast<int>(DemoNotation::LongDirectDial) + 1;

// What kind of field the values are for.
enum class DemoLine {
    Landline, // telephone fields
    Mobile,   // mobile fields: mostly mobile numbers, never local or direct-dial
    Fax,      // fax fields: landline values of at most 20 characters, with more long direct dials
};

struct DemoPhone {
    DemoNotation notation = DemoNotation::Null;
    QVariant value; // null for DemoNotation::Null
};

class DemoNumbers {
public:
    explicit DemoNumbers(quint64 seed, quint64 stream = 0, DemoLine line = DemoLine::Landline)
        : seed_(seed)
        , stream_(stream)
        , line_(line) {}

    DemoPhone at(quint64 index) const;

    // The longest value Fax lines give.
    static constexpr int kFaxMaxLength = 20;

private:
    quint64 seed_;
    quint64 stream_;
    DemoLine line_;
};
