#include "PhoneApplication.h"

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

std::shared_ptr<PhoneComponent> PhoneApplication::copyForThread() const {
    return std::make_shared<PhoneApplication>(*this);
}
