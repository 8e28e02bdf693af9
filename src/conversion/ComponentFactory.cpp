#include "ComponentFactory.h"

#include "PhoneApplication.h"

using namespace Qt::StringLiterals;

namespace {

[[noreturn]] void cannotCreate(const QString& name) {
    throw ErrorRecord(ErrorNumber::CannotCreateObject, u"ActiveX component can't create object"_s,
                      name);
}

} // namespace

ComponentFactory ComponentFactory::withDefaults() {
    ComponentFactory factory;
    factory.registerCreator(kPhoneApplicationName,
                            [] { return std::make_shared<PhoneApplication>(); });
    return factory;
}

void ComponentFactory::registerCreator(const QString& name, Creator creator) {
    creators_.insert(name.toLower(), std::move(creator));
}

std::shared_ptr<PhoneComponent> ComponentFactory::create(const QString& name) const {
    const auto found = creators_.constFind(name.toLower());
    if (found == creators_.cend() || !*found)
        cannotCreate(name);
    std::shared_ptr<PhoneComponent> component;
    try {
        component = (*found)();
    } catch (const ErrorRecord&) {
        throw;
    } catch (...) {
        cannotCreate(name);
    }
    if (!component)
        cannotCreate(name);
    return component;
}
