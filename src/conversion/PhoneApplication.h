#pragma once

#include "NumberCompleter.h"
#include "PhoneComponent.h"

#include <QHash>

// The real telephone component: completes numbers with libphonenumber for the location the
// database keeps, or for the system locale's region when it keeps none.
class PhoneApplication : public PhoneComponent {
public:
    PhoneApplication();

    void UseDatabase(DatabasePtr& db) override;
    void SetVisible(bool visible) override;
    QString CompleteNumber(QString& number) override;
    FormattedValue completeWithReason(QString& number) override;
    // A national number is read in the record's country, completed with the area code only in
    // the location's own.
    FormattedValue completeWithReason(QString& number, const QString& country) override;
    // libphonenumber's rules are safe to share between threads; the completer is copied.
    std::shared_ptr<PhoneComponent> copyForThread() const override;

    const NumberCompleter& completer() const { return completer_; }
    bool visible() const { return visible_; }

private:
    // How the numbers of a record in a country are read: at home (no completer of its own), in
    // a foreign region, or not at all (a country nobody knows).
    struct CountryReading {
        bool known = false;
        std::shared_ptr<const NumberCompleter> foreign;
    };

    NumberCompleter completer_;
    NumberCompleter international_; // no location: only numbers with a country code
    bool visible_ = false;
    // By the country field's text as stored. Never shared between threads: a completer
    // remembers what it found.
    QHash<QString, CountryReading> countries_;
};
