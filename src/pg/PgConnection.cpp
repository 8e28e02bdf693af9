#include "PgConnection.h"

#include "DatabaseUri.h"
#include "PgErrors.h"
#include "SqlText.h"

#include <QList>

#include <QByteArrayList>
#include <QDate>
#include <QLocale>

#include <vector>

using namespace Qt::StringLiterals;

namespace {

// libpq says why a connection failed only in words; the SQLSTATE does not reach the client. The
// server never says whether a refused login had the wrong name or the wrong password.
[[noreturn]] void throwConnectFailure(PGconn* conn, const QString& user) {
    const QString reason = QString::fromUtf8(PQerrorMessage(conn)).trimmed();
    if (reason.contains(u"password authentication failed"_s) ||
        reason.contains(u"no password supplied"_s) ||
        reason.contains(u"authentication failed for user"_s))
        throw pgError(PgCode::LoginRefused, u"The database server refused the user name \""_s +
                                                user + u"\" or its password."_s);
    if (reason.contains(u"role \""_s) && reason.contains(u"does not exist"_s))
        throw pgError(VdbCode::UnknownUser,
                      u"The database server knows no user \""_s + user + u"\"."_s);
    if (reason.contains(u"permission denied for database"_s))
        throw pgError(VdbCode::UnknownUser,
                      u"The user \""_s + user + u"\" is not a user of this database."_s);
    throw pgError(PgCode::CannotConnect, reason);
}

} // namespace

PgResult& PgResult::operator=(PgResult&& other) noexcept {
    if (this != &other) {
        PQclear(result_);
        result_ = other.result_;
        other.result_ = nullptr;
    }
    return *this;
}

PgResult::~PgResult() {
    PQclear(result_);
}

QString PgResult::text(int row, int column) const {
    return decodeUtf8(
        QByteArrayView(PQgetvalue(result_, row, column), PQgetlength(result_, row, column)),
        nullptr);
}

qint64 PgResult::integer(int row, int column) const {
    return QByteArray(PQgetvalue(result_, row, column)).toLongLong();
}

QVariant PgResult::value(int row, int column) const {
    if (isNull(row, column))
        return {};
    switch (PQftype(result_, column)) {
    case 20: // int8
    case 21: // int2
    case 23: // int4
        return QVariant(static_cast<qlonglong>(integer(row, column)));
    case 700:   // float4
    case 701: { // float8
        bool ok = false;
        const double d = QByteArray(PQgetvalue(result_, row, column)).toDouble(&ok);
        return ok ? QVariant(d) : QVariant(text(row, column));
    }
    default: {
        // Bytes that are not UTF-8 (a database of the server's SQL_ASCII encoding) come as they
        // are, as from a .vdb file: text made of them would lose the original when written back.
        const QByteArrayView bytes(PQgetvalue(result_, row, column),
                                   PQgetlength(result_, row, column));
        bool valid = true;
        const QString decoded = decodeUtf8(bytes, &valid);
        return valid ? QVariant(decoded) : QVariant(bytes.toByteArray());
    }
    }
}

qint64 PgResult::affected() const {
    return QByteArray(PQcmdTuples(result_)).toLongLong();
}

QString sqlState(const PgResult& result) {
    const char* state = PQresultErrorField(result.handle(), PG_DIAG_SQLSTATE);
    return state ? QString::fromLatin1(state) : QString();
}

QString pgQuote(const QString& name) {
    QString quoted = name;
    quoted.replace(u'"', u"\"\""_s);
    return u'"' + quoted + u'"';
}

QByteArray pgParameter(const QVariant& value) {
    if (!value.isValid() || value.isNull())
        return {};
    switch (value.metaType().id()) {
    case QMetaType::Bool:
        return value.toBool() ? "1" : "0";
    case QMetaType::Double:
    case QMetaType::Float:
        return QByteArray::number(value.toDouble(), 'g', QLocale::FloatingPointShortest);
    case QMetaType::QDate:
        return value.toDate().toString(Qt::ISODate).toUtf8();
    default: {
        QByteArray bytes = value.toString().toUtf8();
        if (bytes.isNull())
            bytes = QByteArray("");
        return bytes;
    }
    }
}

PgConnection::PgConnection(const QString& uri, const QString& user, const QString& password) {
    // The URI is read here and libpq gets its parts: its own message for a URI it cannot read
    // would repeat the URI, password and all.
    const auto parameters = uriParameters(uri);
    if (!parameters)
        throw pgError(PgCode::CannotConnect, u"the server address is not a valid connection URI"_s);
    std::vector<std::pair<QByteArray, QByteArray>> given;
    // The database's owner sets its search_path; a statement parsed under it could call the
    // owner's functions and operators with the rights of whoever opens it. The server's own
    // schema is set before the first statement, after (and over) any options the URI gives.
    QByteArray options = qgetenv("PGOPTIONS");
    if (!options.isEmpty())
        options += ' ';
    for (const auto& [keyword, value] : *parameters) {
        if (keyword == u"options"_s)
            options = value.toUtf8() + ' ';
        if ((keyword == u"user"_s && !user.isEmpty()) ||
            (keyword == u"password"_s && !password.isEmpty()) || keyword == u"application_name"_s ||
            keyword == u"client_encoding"_s || keyword == u"options"_s)
            continue;
        given.emplace_back(keyword.toUtf8(), value.toUtf8());
    }
    // An unpaired backslash at the end would join the setting below to the URI's last option.
    qsizetype backslashes = 0;
    while (options.size() > backslashes + 1 && options[options.size() - 2 - backslashes] == '\\')
        ++backslashes;
    if (backslashes % 2 != 0)
        throw pgError(PgCode::CannotConnect, u"the connection URI's options end in a backslash"_s);
    given.emplace_back("options", options + "-c search_path=pg_catalog");
    given.emplace_back("application_name", "telnormer");
    given.emplace_back("client_encoding", "UTF8");
    if (!user.isEmpty())
        given.emplace_back("user", user.toUtf8());
    if (!password.isEmpty())
        given.emplace_back("password", password.toUtf8());
    std::vector<const char*> keys;
    std::vector<const char*> values;
    for (const auto& [keyword, value] : given) {
        keys.push_back(keyword.constData());
        values.push_back(value.constData());
    }
    keys.push_back(nullptr);
    values.push_back(nullptr);
    conn_ = PQconnectdbParams(keys.data(), values.data(), 0);
    if (!conn_)
        throw pgError(PgCode::CannotConnect, u"out of memory"_s);
    // The server's notices ("role is already a member") are no message for the user.
    PQsetNoticeProcessor(
        conn_, [](void*, const char*) {}, nullptr);
    if (PQstatus(conn_) != CONNECTION_OK) {
        const QString name = user.isEmpty() ? QString::fromUtf8(PQuser(conn_)) : user;
        try {
            throwConnectFailure(conn_, name);
        } catch (...) {
            PQfinish(conn_);
            conn_ = nullptr;
            throw;
        }
    }
}

PgConnection::~PgConnection() {
    PQfinish(conn_);
}

void PgConnection::requireConnection() const {
    if (PQstatus(conn_) != CONNECTION_OK)
        throw pgConnectionLost(message());
}

bool PgConnection::inTransaction() const {
    if (beginPending_)
        return true;
    if (ahead_)
        return false;
    const PGTransactionStatusType status = PQtransactionStatus(conn_);
    return status == PQTRANS_INTRANS || status == PQTRANS_INERROR || status == PQTRANS_ACTIVE;
}

void PgConnection::throwFailure(const PgResult& result, const QString& context) const {
    const QString state = sqlState(result);
    QString said = result.handle()
                       ? QString::fromUtf8(PQresultErrorMessage(result.handle())).trimmed()
                       : QString();
    if (said.isEmpty())
        said = message();
    if (!context.isEmpty())
        said = context + u": "_s + said;
    if (PQstatus(conn_) != CONNECTION_OK || state.startsWith(u"08"_s) || state.startsWith(u"57P"_s))
        throw pgConnectionLost(said);
    // A character the database's encoding cannot hold: that value's failure, no storage fault.
    if (state == u"22P05"_s || state == u"22021"_s)
        throw pgError(VdbCode::TypeMismatch, said);
    if (state == u"55P03"_s || state == u"40P01"_s || state == u"40001"_s)
        throw pgError(VdbCode::Locked, said);
    if (state == u"22P02"_s || state == u"22007"_s || state == u"22008"_s || state == u"22003"_s)
        throw pgError(VdbCode::TypeMismatch, said);
    if (state == u"42501"_s)
        throw pgError(PgCode::NoPrivilege, said);
    if (state == u"42P04"_s || state == u"42P07"_s || state == u"42710"_s)
        throw pgError(VdbCode::AlreadyExists, said);
    throw pgError(VdbCode::StorageFailure, said);
}
