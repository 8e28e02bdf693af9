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
// A private socket must answer its first call within this, or the bus is used.
constexpr int directProbeMs = 3000;
// The most names a host may list (tables, fields, indexes): more than a database engine allows
// in one table.
constexpr qsizetype mostNames = 2000;
// The most fields of all tables together.
constexpr qsizetype mostFields = 50000;
// The longest name a host may list: names are held for every window, so their length counts too.
constexpr qsizetype mostNameLength = 1024;
// The most records a page holds, whatever a host answers.
constexpr int mostPerPage = 256;
} // namespace Remote
