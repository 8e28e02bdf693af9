#pragma once

#include "DbServer.h"

#include <QDBusConnection>

// Telnormer's side of a database handed over by reference: the database interfaces, each call
// made on the host's object. Once the host has gone every call fails at once with error 4150.
class RemoteLink;

// Makes the proxy for the object at path of the connection named service (a unique name).
DatabasePtr connectRemoteDatabase(const QDBusConnection& connection, const QString& service,
                                  const QString& path);

// Error codes of the proxies (number = 0x80040000 + code); texts in the string table.
namespace RemoteCode {
constexpr quint32 HostEnded = 4150;
constexpr quint32 HostNotAnswering = 4151;
constexpr quint32 CallFailed = 4152;
} // namespace RemoteCode
