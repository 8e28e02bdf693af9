#pragma once

#include <QList>
#include <QString>

#include <optional>
#include <utility>

// A database is named either by the path of a .vdb file or by a libpq connection URI
// ("postgresql://user@host/dbname?host=/run/socket") for a database on a server. URIs are read
// with libpq's own connection-string parser, never by hand.

// True for a text that starts with postgresql:// or postgres:// (any case), or with a libpq
// keyword and '=' (the key=value form, "host=/run/pg dbname=kunden").
bool isServerUri(const QString& text);

// The connection parameters libpq reads from uri (keyword, value; only those given), or none
// when it cannot read it. libpq's own message is not kept: it repeats the URI, password and all.
std::optional<QList<std::pair<QString, QString>>> uriParameters(const QString& uri);

// Whether a connection parameter holds a secret (password, sslpassword, ...).
bool isSecretParameter(const QString& keyword);

// The URI written again from its parameters without any secret, for settings, logs, journals and
// messages; an unreadable URI gives a placeholder that keeps nothing of it. Other texts come
// back unchanged.
QString uriWithoutPassword(const QString& uri);

// The database name a URI names, decoded; empty when it names none or cannot be read.
QString uriDatabaseName(const QString& uri);

// Why a URI given on a command line is refused: it holds a secret, which every user of the
// machine can read in the process list. Empty when it holds none.
QString commandLineUriRefusal(const QString& uri);
