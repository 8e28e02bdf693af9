#pragma once

#include "NumberCompleter.h"
#include "PhoneComponent.h"

// The real telephone component: completes numbers with libphonenumber for the location the
// database keeps, or for the system locale's region when it keeps none.
class PhoneApplication : public PhoneComponent {
public:
    PhoneApplication();

    void UseDatabase(DatabasePtr& db) override;
    void SetVisible(bool visible) override;
    QString CompleteNumber(QString& number) override;
    FormattedValue completeWithReason(QString& number) override;
    // libphonenumber's rules are safe to share between threads; the completer is copied.
    std::shared_ptr<PhoneComponent> copyForThread() const override;

    const NumberCompleter& completer() const { return completer_; }
    bool visible() const { return visible_; }

private:
    NumberCompleter completer_;
    bool visible_ = false;
};
