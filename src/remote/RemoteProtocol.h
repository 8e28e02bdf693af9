#pragma once

#include <QString>

// The methods of com.veltrano.VelDbServer.Database, as introspection data. A table is named by
// its name; a value is "av" (empty for null); the cursor and edit buffer are the table's own.
namespace Remote {
QString databaseIntrospection();
} // namespace Remote
