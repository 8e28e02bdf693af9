#include "RemoteProtocol.h"

#include "RemoteNames.h"

#include <QStringList>

using namespace Qt::StringLiterals;

namespace Remote {

namespace {

struct Method {
    const char* name;
    const char* in;  // "name:type name:type"
    const char* out; // "type type", or empty
};

// clang-format off
constexpr Method kMethods[] = {
    {"FileName", "", "s"},
    {"Name", "", "s"},
    {"UserName", "", "s"},
    {"LocationCountry", "", "s"},
    {"LocationAreaCode", "", "s"},
    {"Tables", "", "as"},
    {"Caption", "table:s", "s"},
    {"Fields", "table:s", "as"},
    {"Indexes", "table:s", "as"},
    {"IndexUses", "table:s", "as"},
    {"Property", "table:s name:s", "av"},
    {"RecordCount", "table:s", "i"},
    {"MarkedCount", "table:s", "i"},
    {"Activate", "table:s index:s opt:i", ""},
    {"ShowMarked", "table:s on:b opt:i", ""},
    {"ShowUnmarked", "table:s on:b opt:i", ""},
    {"MoveFirst", "table:s opt:i", ""},
    {"Skip", "table:s count:i opt:i", ""},
    {"Eof", "table:s", "b"},
    {"RecordId", "table:s", "s"},
    {"Value", "table:s field:s", "av"},
    {"SetValue", "table:s field:s value:av", ""},
    {"Update", "table:s opt:i", ""},
    {"Compile", "text:s opt:i", ""},
    {"Evaluate", "text:s opt:i", "av"},
    {"Begin", "opt:i", ""},
    {"Commit", "", ""},
    {"Rollback", "", ""},
    // Optional: a host without them is called per step and field.
    {"Page", "table:s skip:i count:i fields:as texts:as opt:i", "b as as aav aav ab"},
    {"Store", "table:s skip:i fields:as values:aav opt:i", ""},
    {"RecordKey", "table:s", "s"},
    {"TextFields", "table:s", "as"},
    {"Direct", "", "s"},
};
// clang-format on

} // namespace

QString databaseIntrospection() {
    QString xml = u"<interface name=\""_s + databaseInterface() + u"\">\n"_s;
    for (const Method& m : kMethods) {
        xml += u"<method name=\""_s + QLatin1StringView(m.name) + u"\">"_s;
        const QStringList args = QString::fromLatin1(m.in).split(u' ', Qt::SkipEmptyParts);
        for (const QString& arg : args) {
            const QStringList parts = arg.split(u':');
            xml += u"<arg direction=\"in\" name=\""_s + parts.at(0) + u"\" type=\""_s +
                   parts.at(1) + u"\"/>"_s;
        }
        for (const QString& type : QString::fromLatin1(m.out).split(u' ', Qt::SkipEmptyParts))
            xml += u"<arg direction=\"out\" type=\""_s + type + u"\"/>"_s;
        xml += u"</method>\n"_s;
    }
    return xml + u"</interface>\n"_s;
}

QString replySignature(const QString& method) {
    for (const Method& m : kMethods) {
        if (method == QLatin1StringView(m.name))
            return QString::fromLatin1(m.out).remove(u' ');
    }
    return {};
}

} // namespace Remote
