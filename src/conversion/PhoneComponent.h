#pragma once

#include "DbServer.h"
#include "UnreadableReason.h"

#include <QString>

#include <memory>

// The telephone component as the conversion run uses it. Failures throw ErrorRecord.
class PhoneComponent {
public:
    virtual ~PhoneComponent() = default;
    // Takes the telephone location from db; the reference left in db replaces the caller's.
    virtual void UseDatabase(DatabasePtr& db) = 0;
    // Shows or hides the component's own window.
    virtual void SetVisible(bool visible) = 0;
    // The number in canonical form, or number itself when it cannot be completed safely.
    virtual QString CompleteNumber(QString& number) = 0;
    // CompleteNumber and, when the number comes back unchanged, why. A component that cannot
    // say reports no reason.
    virtual FormattedValue completeWithReason(QString& number) {
        return {CompleteNumber(number), UnreadableReason::None};
    }
    // completeWithReason for a record whose country field holds country (empty: the
    // location's). A component that cannot read other countries leaves such numbers alone.
    virtual FormattedValue completeWithReason(QString& number, const QString& country) {
        if (country.trimmed().isEmpty())
            return completeWithReason(number);
        return {number, UnreadableReason::UnknownCountry};
    }
    // A component of its own for another thread, set up as this one; empty when this component
    // only works on its own thread.
    virtual std::shared_ptr<PhoneComponent> copyForThread() const { return {}; }
};
