#pragma once

#include "UnreadableReason.h"

#include <QString>
#include <QStringView>

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace i18n::phonenumbers {
class PhoneNumber;
class PhoneNumberUtil;
} // namespace i18n::phonenumbers

struct NumberScan;

// Brings one telephone number into canonical form, "+49 (30) 1234567", for a location (region
// and area code). Only the number comes back, with a direct-dial suffix ("-89") or extension
// ("ext. 12") as written; words around it are left to the caller. Whatever cannot be accounted
// for digit by digit comes back unchanged, and canonical values are fixed points. A number
// without trunk prefix or country code is completed with the area code only when it stands
// alone or among telephone words; short numbers ("110", "11880") stay as they are.
class NumberCompleter {
public:
    // No location: only numbers with a country code complete.
    NumberCompleter();
    NumberCompleter(const QString& region, const QString& areaCode);

    // region is an ISO 3166 code; one libphonenumber does not know means no region. areaCode is
    // ignored without a region; a trunk prefix written in front of it is dropped.
    void setLocation(const QString& region, const QString& areaCode);
    QString region() const { return QString::fromLatin1(region_); }
    QString areaCode() const { return QString::fromLatin1(area_); }

    QString complete(const QString& number) const { return completeWithReason(number).text; }
    // The completion and, when the number comes back unchanged, why.
    FormattedValue completeWithReason(const QString& number) const;

    // True when number is written internationally ("+49 30 1234567": "+", digits, blanks,
    // brackets) with nothing a completion would drop or add: a known country code and no trunk
    // prefix after it. Its completion then differs from it in blanks and brackets at most, so
    // this decides without libphonenumber.
    static bool keepsItsDigits(QStringView number);
    // The region of the system locale, or empty when it names none.
    static QString systemRegion();

private:
    struct Reading;

    std::optional<Reading> read(std::string_view digits, bool plus, bool local) const;
    bool accept(int countryCode, std::string_view nsn, Reading& out) const;
    bool readInternational(std::string_view digits, std::string_view head, Reading& out) const;
    bool readNational(std::string_view digits, Reading& out) const;
    bool readLocal(std::string_view digits, Reading& out) const;
    bool readForeignPrefix(std::string_view digits, Reading& out) const;
    bool twoNumbers(const NumberScan& scan, std::string_view digits, bool plus, bool local) const;
    bool numberBeforeSlash(const NumberScan& scan, QStringView text, bool local) const;
    bool isShortNumber(std::string_view digits) const;
    UnreadableReason whyNotRead(std::string_view digits, bool plus) const;
    UnreadableReason whyDigitsAfter(const NumberScan& scan, QStringView text, bool local) const;
    std::size_t destinationCodeLength(const Reading& reading) const;
    std::size_t formattedDestinationCodeLength(const Reading& reading) const;
    QString canonical(const Reading& reading) const;
    const std::string& trunkPrefixOf(int countryCode) const;

    const i18n::phonenumbers::PhoneNumberUtil& util_;
    std::string region_;
    int countryCode_ = 0;
    std::string trunk_;
    std::string area_;
    bool nationalWithoutTrunk_ = false;
    // Destination codes found so far, by country code, kind, number length and the code's digits.
    mutable std::unordered_map<std::string, std::size_t> destinationCodes_;
};
