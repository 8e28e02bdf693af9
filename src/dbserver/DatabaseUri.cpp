#include "DatabaseUri.h"

#include <QStringList>
#include <QUrl>

using namespace Qt::StringLiterals;

namespace {

struct UriParts {
    QString scheme;    // up to and with "://"
    QString authority; // user info and hosts
    QString path;      // without the leading slash
    QString query;     // without the '?'
    bool hasPath = false;
};

UriParts split(const QString& uri) {
    UriParts parts;
    const qsizetype schemeEnd = uri.indexOf(u"://"_s) + 3;
    parts.scheme = uri.left(schemeEnd);
    QString rest = uri.mid(schemeEnd);
    const qsizetype question = rest.indexOf(u'?');
    if (question >= 0) {
        parts.query = rest.mid(question + 1);
        rest.truncate(question);
    }
    const qsizetype slash = rest.indexOf(u'/');
    parts.authority = slash >= 0 ? rest.left(slash) : rest;
    parts.path = slash >= 0 ? rest.mid(slash + 1) : QString();
    parts.hasPath = slash >= 0;
    return parts;
}

QString decoded(const QString& text) {
    return QUrl::fromPercentEncoding(text.toUtf8());
}

} // namespace

bool isServerUri(const QString& text) {
    const QString trimmed = text.trimmed();
    return trimmed.startsWith(u"postgresql://"_s, Qt::CaseInsensitive) ||
           trimmed.startsWith(u"postgres://"_s, Qt::CaseInsensitive);
}

QString uriWithoutPassword(const QString& uri) {
    if (!isServerUri(uri))
        return uri;
    UriParts parts = split(uri.trimmed());
    // The user info ends at the last '@' of the authority; a password follows its first ':'.
    const qsizetype at = parts.authority.lastIndexOf(u'@');
    if (at >= 0) {
        const qsizetype colon = parts.authority.left(at).indexOf(u':');
        if (colon >= 0)
            parts.authority.remove(colon, at - colon);
    }
    QStringList kept;
    for (const QString& parameter : parts.query.split(u'&', Qt::SkipEmptyParts)) {
        if (decoded(parameter.section(u'=', 0, 0))
                .trimmed()
                .compare(u"password"_s, Qt::CaseInsensitive) != 0)
            kept << parameter;
    }
    QString result = parts.scheme + parts.authority;
    if (parts.hasPath)
        result += u'/' + parts.path;
    if (!kept.isEmpty())
        result += u'?' + kept.join(u'&');
    return result;
}

QString uriDatabaseName(const QString& uri) {
    const UriParts parts = split(uri.trimmed());
    if (!parts.path.isEmpty())
        return decoded(parts.path);
    for (const QString& parameter : parts.query.split(u'&', Qt::SkipEmptyParts)) {
        if (decoded(parameter.section(u'=', 0, 0)) == u"dbname"_s)
            return decoded(parameter.section(u'=', 1));
    }
    return {};
}
