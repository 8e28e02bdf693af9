#include "PgCatalogue.h"

#include "PgConnection.h"
#include "PgErrors.h"

#include <QCryptographicHash>

using namespace Qt::StringLiterals;

PgRoles pgRolesOf(const QString& database) {
    // Role names are the server's, shared by every database: a readable part of the name and a
    // hash of all of it keep two databases apart however long or odd their names, within the
    // server's 63 bytes.
    QString readable;
    for (const QChar c : database.toLower()) {
        const bool plain = (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9');
        if (readable.size() < 20 && (plain || !readable.endsWith(u'_')))
            readable += plain ? c : QChar(u'_');
    }
    const QString base =
        u"tn_"_s + readable + u'_' +
        QString::fromLatin1(QCryptographicHash::hash(database.toUtf8(), QCryptographicHash::Sha256)
                                .toHex()
                                .left(10));
    return {base + u"_users"_s, base + u"_dbadmin"_s, base + u"_useradmin"_s};
}

QString pgTable(const QString& name) {
    return QString::fromUtf16(kPgSchema) + u'.' + pgQuote(name);
}

PgCatalogue loadPgCatalogue(PgConnection& db, const QString& shownUri) {
    CatalogueReader in;
    in.tablePrefix = QString::fromUtf16(kPgSchema) + u'.';
    in.error = pgError;
    in.rows = [&](const QString& sql) {
        PgResult result = db.execRaw(sql);
        if (PQresultStatus(result.handle()) != PGRES_TUPLES_OK) {
            if (sqlState(result) == u"42P01"_s || sqlState(result) == u"3F000"_s)
                throw pgError(VdbCode::NotADatabase,
                              u"The database holds no Telnormer catalogue: "_s + shownUri);
            db.throwFailure(result, u"reading the catalogue"_s);
        }
        QList<QStringList> rows;
        for (int r = 0; r < result.rows(); ++r) {
            QStringList row;
            for (int c = 0; c < PQnfields(result.handle()); ++c)
                row << result.text(r, c);
            rows << row;
        }
        return rows;
    };
    return {catalogueFromRows(in), pgRolesOf(db.databaseName())};
}
