#pragma once

#include <QString>

// The methods of com.veltrano.VelDbServer.Database, as introspection data. A table is named by
// its name; a value is "av" (empty for null); the cursor and edit buffer are the table's own.
// Page gives, from the record skip steps on, up to count records (fewer when the walk could
// not go on), leaving the cursor on the first of them: whether the table ends after them, their
// ids, keys, the values of fields and the values of the expression texts (row by row) and
// whether each text could be evaluated. Store skips, sets the values and updates, as one.
// Direct gives the address of a private socket with the same object (empty: none).
namespace Remote {
QString databaseIntrospection();
// The signature of a method's answer ("basasaavaavab" for Page); null for an unknown method.
QString replySignature(const QString& method);
} // namespace Remote
