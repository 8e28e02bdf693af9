#pragma once

#include "UnreadableReason.h"

#include <QString>
#include <QStringView>

#include <optional>
#include <string>
#include <vector>

// Where the telephone number in a value stands: from its first digit (with a "+" or "(" in
// front) over digits and grouping, then a direct-dial suffix or an extension ("ext. 12") as
// written. The words around it are the caller's.
struct NumberScan {
    struct Group {
        std::size_t offset; // into digits
        qsizetype textStart;
        qsizetype textEnd;
    };
    qsizetype start = 0; // first character, a leading '+' or '(' included
    qsizetype end = 0;   // after the last digit of number and suffix
    qsizetype extensionEnd = 0;
    // The first digit after the number and its extension, in the words behind it; -1 if none.
    qsizetype digitsAfter = -1;
    bool plus = false;
    bool brackets = false;
    std::string digits;
    std::vector<Group> groups;

    // No scan when the value has no ASCII digit, digits of other scripts, invalid text, more
    // digits than a number has, or a bracket open over its last digit; why says which.
    static std::optional<NumberScan> of(const QString& text, UnreadableReason& why);

    // The text between group g - 1 and group g.
    QStringView between(QStringView text, std::size_t g) const;
    // "12.03.2024", "3/4/24": a date, which an area code in front would turn into a number.
    bool looksLikeDate(QStringView text) const;
};
