#pragma once

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

// Brings one telephone number into canonical form, "+49 (30) 1234567", for a location (region
// and area code). Only the number comes back, with a direct-dial suffix ("-89") or extension
// ("ext. 12") as written; words around it are left to the caller. Whatever cannot be accounted
// for digit by digit comes back unchanged, and canonical values are fixed points.
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

    QString complete(const QString& number) const;

    // True when number has the canonical shape "+CC (NDC) SN", with or without a direct-dial
    // suffix "-89"; decides without parsing.
    static bool looksCanonical(QStringView number);
    // True when number is written internationally ("+49 30 1234567": "+", digits, blanks,
    // brackets) with nothing a completion would drop or add: no trunk prefix after the country
    // code. Its completion then differs from it in blanks and brackets at most.
    static bool keepsItsDigits(QStringView number);
    // The region of the system locale, or empty when it names none.
    static QString systemRegion();

private:
    struct Reading;
    struct Scan;

    std::optional<Scan> scan(const QString& number) const;
    std::optional<Reading> read(std::string_view digits, bool plus, bool local) const;
    bool accept(int countryCode, std::string_view nsn, Reading& out) const;
    bool readInternational(std::string_view digits, std::string_view head, Reading& out) const;
    bool readNational(std::string_view digits, Reading& out) const;
    bool readLocal(std::string_view digits, Reading& out) const;
    bool readForeignPrefix(std::string_view digits, Reading& out) const;
    bool twoNumbers(const Scan& scan, std::string_view digits, bool plus, bool local) const;
    static bool looksLikeDate(QStringView text, const Scan& scan);
    std::size_t destinationCodeLength(const Reading& reading) const;
    std::size_t formattedDestinationCodeLength(const Reading& reading) const;
    QString canonical(const Reading& reading) const;
    std::string trunkPrefixOf(int countryCode) const;

    const i18n::phonenumbers::PhoneNumberUtil& util_;
    std::string region_;
    int countryCode_ = 0;
    std::string trunk_;
    std::string area_;
    bool nationalWithoutTrunk_ = false;
    // Destination codes found so far, by country code, kind, number length and the code's digits.
    mutable std::unordered_map<std::string, std::size_t> destinationCodes_;
};
