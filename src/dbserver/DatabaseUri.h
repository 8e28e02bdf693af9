#pragma once

#include <QString>

// A database is named either by the path of a .vdb file or by a libpq connection URI
// ("postgresql://user@host/dbname?host=/run/socket") for a database on a server.

// True for a text that starts with postgresql:// or postgres:// (any case).
bool isServerUri(const QString& text);

// The URI with any password taken out (from the user part and from a password= parameter), for
// settings, logs and messages. Other texts come back unchanged.
QString uriWithoutPassword(const QString& uri);

// The database name a URI names (its path, else its dbname= parameter), percent-decoded; empty
// when it names none.
QString uriDatabaseName(const QString& uri);
