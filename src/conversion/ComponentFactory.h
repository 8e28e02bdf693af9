#pragma once

#include "PhoneComponent.h"

#include <QHash>
#include <QString>

#include <functional>
#include <memory>

// The one component name the system creates.
inline const QString kPhoneApplicationName = QStringLiteral("Veltrano.Phone.Application");

// Creates telephone components by name. Names compare case-insensitively, like the registered
// class names the system was built around.
class ComponentFactory {
public:
    using Creator = std::function<std::shared_ptr<PhoneComponent>()>;

    // A factory that knows the real component under kPhoneApplicationName.
    static ComponentFactory withDefaults();

    // Registers creator under name, replacing an earlier one.
    void registerCreator(const QString& name, Creator creator);

    // A new component. An unknown name, a creator that returns nothing or throws anything but
    // ErrorRecord fails with error 429; an ErrorRecord from the creator passes through.
    std::shared_ptr<PhoneComponent> create(const QString& name) const;

private:
    QHash<QString, Creator> creators_;
};

namespace ErrorNumber {
constexpr qint32 CannotCreateObject = 429;
} // namespace ErrorNumber
