#pragma once

#include <QString>

// The names hosts and Telnormer agree on over the session bus.
namespace Remote {
inline QString serviceName() {
    return QStringLiteral("com.veltrano.Telnormer");
}
inline QString factoryPath() {
    return QStringLiteral("/com/veltrano/Telnormer");
}
inline QString factoryInterface() {
    return QStringLiteral("com.veltrano.VelTelnormer");
}
inline QString applicationInterface() {
    return QStringLiteral("com.veltrano.VelTelnormer.Application");
}
inline QString applicationPathPrefix() {
    return QStringLiteral("/com/veltrano/Telnormer/App");
}
// The interface of a database a host hands over by reference.
inline QString databaseInterface() {
    return QStringLiteral("com.veltrano.VelDbServer.Database");
}
// Every failure that carries an error number travels under this name.
inline QString errorName() {
    return QStringLiteral("com.veltrano.VelTelnormer.Error");
}
// A frozen peer must not freeze the window for ever.
constexpr int callTimeoutMs = 25000;
} // namespace Remote
