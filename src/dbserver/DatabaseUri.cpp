#include "DatabaseUri.h"

#include <QStringList>
#include <QUrl>

#include <libpq-fe.h>

using namespace Qt::StringLiterals;

namespace {

QString encoded(const QString& text) {
    return QString::fromLatin1(QUrl::toPercentEncoding(text, "/:"));
}

} // namespace

// libpq's other form, "host=/run/postgresql dbname=kunden password=...": it starts with a
// keyword libpq knows and '='. Taken for a file name, it would show its secrets as one.
bool isKeywordForm(const QString& trimmed) {
    const qsizetype equals = trimmed.indexOf(u'=');
    if (equals <= 0)
        return false;
    const QString keyword = trimmed.left(equals).trimmed();
    PQconninfoOption* defaults = PQconndefaults();
    bool known = false;
    for (const PQconninfoOption* o = defaults; o && o->keyword && !known; ++o)
        known = keyword == QString::fromUtf8(o->keyword);
    PQconninfoFree(defaults);
    return known;
}

bool isServerUri(const QString& text) {
    const QString trimmed = text.trimmed();
    return trimmed.startsWith(u"postgresql://"_s, Qt::CaseInsensitive) ||
           trimmed.startsWith(u"postgres://"_s, Qt::CaseInsensitive) || isKeywordForm(trimmed);
}

std::optional<QList<std::pair<QString, QString>>> uriParameters(const QString& uri) {
    char* message = nullptr;
    PQconninfoOption* options = PQconninfoParse(uri.trimmed().toUtf8().constData(), &message);
    PQfreemem(message);
    if (!options)
        return std::nullopt;
    QList<std::pair<QString, QString>> parameters;
    for (const PQconninfoOption* o = options; o->keyword; ++o) {
        if (o->val)
            parameters.append({QString::fromUtf8(o->keyword), QString::fromUtf8(o->val)});
    }
    PQconninfoFree(options);
    return parameters;
}

bool isSecretParameter(const QString& keyword) {
    // libpq marks its secrets with the display character '*'; a name holding "password" is one
    // whatever a later libpq calls it.
    if (keyword.contains(u"password"_s, Qt::CaseInsensitive))
        return true;
    PQconninfoOption* defaults = PQconndefaults();
    bool secret = false;
    for (const PQconninfoOption* o = defaults; o && o->keyword; ++o) {
        if (keyword == QString::fromUtf8(o->keyword))
            secret = o->dispchar && o->dispchar[0] == '*';
    }
    PQconninfoFree(defaults);
    return secret;
}

QString uriWithoutPassword(const QString& uri) {
    if (!isServerUri(uri))
        return uri;
    const auto parameters = uriParameters(uri);
    if (!parameters)
        return u"postgresql://(unreadable address)"_s;
    QString user, host, port, database;
    QStringList query;
    for (const auto& [keyword, value] : *parameters) {
        if (isSecretParameter(keyword))
            continue;
        if (keyword == u"user"_s)
            user = value;
        else if (keyword == u"dbname"_s)
            database = value;
        else if (keyword == u"host"_s && !value.contains(u'/') && !value.contains(u','))
            host = value;
        else if (keyword == u"port"_s && !value.contains(u','))
            port = value;
        else
            query << keyword + u'=' + encoded(value);
    }
    QString authority;
    if (!user.isEmpty())
        authority = encoded(user) + u'@';
    if (!host.isEmpty())
        authority += host.contains(u':') ? u'[' + host + u']' : encoded(host);
    if (!port.isEmpty())
        authority += u':' + encoded(port);
    return u"postgresql://"_s + authority + u'/' + encoded(database) +
           (query.isEmpty() ? QString() : u'?' + query.join(u'&'));
}

QString uriDatabaseName(const QString& uri) {
    const auto parameters = uriParameters(uri);
    if (parameters) {
        for (const auto& [keyword, value] : *parameters) {
            if (keyword == u"dbname"_s)
                return value;
        }
    }
    return {};
}

QString commandLineUriRefusal(const QString& uri) {
    if (!isServerUri(uri))
        return {};
    const auto parameters = uriParameters(uri);
    if (!parameters)
        return u"the server address is not a valid connection URI"_s;
    for (const auto& parameter : *parameters) {
        if (isSecretParameter(parameter.first))
            return u"the server address holds a "_s + parameter.first +
                   u", which every user of this machine can read in the process list: give it "
                   "in the password file (~/.pgpass), in PGPASSWORD or at the prompt instead"_s;
    }
    return {};
}
