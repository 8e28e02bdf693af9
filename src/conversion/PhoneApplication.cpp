#include "PhoneApplication.h"

#include "CountryNames.h"

PhoneApplication::PhoneApplication() {
    completer_.setLocation(NumberCompleter::systemRegion(), {});
}

void PhoneApplication::UseDatabase(DatabasePtr& db) {
    QString country;
    QString areaCode;
    if (auto* location = dynamic_cast<TelephoneLocation*>(db.get())) {
        country = location->LocationCountry();
        areaCode = location->LocationAreaCode();
    }
    countries_.clear();
    completer_.setLocation(country, areaCode);
    // The system's region knows no area code, so local numbers are then left alone.
    if (completer_.region().isEmpty())
        completer_.setLocation(NumberCompleter::systemRegion(), {});
}

void PhoneApplication::SetVisible(bool visible) {
    // Nothing to show: the component works without a window of its own.
    visible_ = visible;
}

QString PhoneApplication::CompleteNumber(QString& number) {
    return completer_.complete(number);
}

FormattedValue PhoneApplication::completeWithReason(QString& number) {
    return completer_.completeWithReason(number);
}

FormattedValue PhoneApplication::completeWithReason(QString& number, const QString& country) {
    auto it = countries_.constFind(country);
    if (it == countries_.cend()) {
        // Bounded: a table of odd country texts must not make it grow without end.
        if (countries_.size() > 4096)
            countries_.clear();
        const QString region = regionOfCountry(country);
        CountryReading reading;
        reading.known = !region.isEmpty() || country.trimmed().isEmpty();
        if (!region.isEmpty() && region != completer_.region())
            reading.foreign = std::make_shared<const NumberCompleter>(region, QString());
        it = countries_.insert(country, reading);
    }
    if (!it->known) {
        // Written internationally it says its country itself.
        FormattedValue read = international_.completeWithReason(number);
        if (read.reason == UnreadableReason::NoValidNumber)
            read.reason = UnreadableReason::UnknownCountry;
        return read;
    }
    return it->foreign ? it->foreign->completeWithReason(number)
                       : completer_.completeWithReason(number);
}

std::shared_ptr<PhoneComponent> PhoneApplication::copyForThread() const {
    auto copy = std::make_shared<PhoneApplication>(*this);
    copy->countries_.clear();
    return copy;
}
