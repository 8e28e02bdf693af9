#pragma once

// The real telephone component, watched: it reports every value it is asked to complete and
// fails with "Out of memory" (7) on one chosen value. For tests that link telnormer_conversion.

#include "ComponentFactory.h"
#include "PhoneComponent.h"

#include <functional>
#include <memory>
#include <utility>

class WatchedComponent : public PhoneComponent {
public:
    WatchedComponent(QString failing, std::function<void(const QString&)> seen)
        : failing_(std::move(failing))
        , seen_(std::move(seen))
        , real_(ComponentFactory::withDefaults().create(kPhoneApplicationName)) {}
    void UseDatabase(DatabasePtr& db) override { real_->UseDatabase(db); }
    void SetVisible(bool visible) override { real_->SetVisible(visible); }
    QString CompleteNumber(QString& number) override { return completeWithReason(number).text; }
    FormattedValue completeWithReason(QString& number) override {
        return completeWithReason(number, {});
    }
    FormattedValue completeWithReason(QString& number, const QString& country) override {
        if (seen_)
            seen_(number);
        if (!failing_.isEmpty() && number == failing_)
            throw ErrorRecord(7, QStringLiteral("Out of memory"));
        return real_->completeWithReason(number, country);
    }

private:
    QString failing_;
    std::function<void(const QString&)> seen_;
    std::shared_ptr<PhoneComponent> real_;
};
