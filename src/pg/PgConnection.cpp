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

QString serverMessage(PGconn* conn) {
    return QString::fromUtf8(PQerrorMessage(conn)).trimmed();
}

// libpq says why a connection failed only in words; the SQLSTATE does not reach the client. The
// server never says whether a refused login had the wrong name or the wrong password.
[[noreturn]] void throwConnectFailure(PGconn* conn, const QString& user) {
    const QString reason = serverMessage(conn);
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

// A run sends a few dozen statement texts again and again; a text is named at its second use,
// and names stop at a bound, so the server keeps no more than that a connection.
constexpr qsizetype kMaxPrepared = 400;
constexpr qsizetype kMaxSeen = 4000;

ErrorRecord connectionLost(const QString& reason) {
    return pgError(PgCode::ConnectionLost,
                   u"The connection to the database server was lost: "_s + reason);
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

PgResult PgConnection::execRaw(const QString& sql, const QVariantList& params) {
    if (beginPending_ || !restore_.isEmpty() || ahead_)
        return std::move(pipeline({{sql, params}}).front());
    // A text sent before goes under its name.
    const QByteArray text = sql.toUtf8();
    if (prepared_.contains(text) || seen_.contains(text))
        return std::move(send({{sql, params}}).front());
    if (seen_.size() < kMaxSeen)
        seen_.insert(text, 1);
    QByteArrayList texts;
    std::vector<const char*> values;
    texts.reserve(params.size());
    values.reserve(static_cast<size_t>(params.size()));
    for (const QVariant& param : params) {
        texts << pgParameter(param);
        values.push_back(texts.last().isNull() ? nullptr : texts.last().constData());
    }
    // Extended protocol even without parameters: one statement only, nothing smuggled in.
    return PgResult(PQexecParams(conn_, text.constData(), static_cast<int>(values.size()),
                                 nullptr, values.data(), nullptr, nullptr, 0));
}

PgResult PgConnection::exec(const QString& sql, const QVariantList& params) {
    PgResult result = execRaw(sql, params);
    const ExecStatusType status = PQresultStatus(result.handle());
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
        throwFailure(result, QString());
    return result;
}

void PgConnection::sendPendingBegin() {
    if (beginPending_ || !restore_.isEmpty() || ahead_)
        pipeline({});
}

bool PgConnection::adoptAhead() {
    // One that failed stays marked: the next statement rolls it back.
    if (!ahead_ || PQtransactionStatus(conn_) != PQTRANS_INTRANS)
        return false;
    ahead_ = false;
    return true;
}

std::vector<PgResult>
PgConnection::pipeline(const QList<std::pair<QString, QVariantList>>& statements) {
    if (!beginPending_ && restore_.isEmpty() && !ahead_)
        return send(statements);
    QList<std::pair<QString, QVariantList>> all;
    // Nobody took the transaction begun ahead: what it read and locked goes.
    if (std::exchange(ahead_, false))
        all.append({u"ROLLBACK"_s, {}});
    if (std::exchange(beginPending_, false)) {
        // A batch finds its records by their keys: a table the server holds small, or has not
        // analysed yet, would otherwise be read whole for every batch.
        all.append({u"BEGIN"_s, {}});
        all.append({u"SET LOCAL enable_seqscan = off"_s, {}});
    }
    for (const QString& sql : std::exchange(restore_, {}))
        all.append({sql, {}});
    const auto ahead = static_cast<qsizetype>(all.size());
    all += statements;
    std::vector<PgResult> results = send(all);
    for (qsizetype i = 0; i < ahead; ++i) {
        if (PQresultStatus(results[static_cast<size_t>(i)].handle()) != PGRES_COMMAND_OK)
            throwFailure(results[static_cast<size_t>(i)], {});
    }
    results.erase(results.begin(), results.begin() + ahead);
    return results;
}

std::vector<PgResult>
PgConnection::send(const QList<std::pair<QString, QVariantList>>& statements) {
    std::vector<PgResult> results;
    answered_.clear();
    if (PQenterPipelineMode(conn_) != 1)
        throw connectionLost(serverMessage(conn_));
    // What went out, in order: a Parse (naming a text) or a statement (under its name, if any).
    struct Sent {
        bool parse = false;
        QByteArray text;
        QByteArray name;
    };
    std::vector<Sent> sent;
    QHash<QByteArray, QByteArray> parsing; // this round trip's Parses, by text
    bool ok = true;
    size_t expected = 0;
    for (const auto& [sql, params] : statements) {
        if (sql.isEmpty()) {
            if (PQsendFlushRequest(conn_) != 1) {
                ok = false;
                break;
            }
            continue;
        }
        ++expected;
        QByteArrayList texts;
        std::vector<const char*> values;
        for (const QVariant& param : params) {
            texts << pgParameter(param);
            values.push_back(texts.last().isNull() ? nullptr : texts.last().constData());
        }
        const QByteArray text = sql.toUtf8();
        const int count = static_cast<int>(values.size());
        QByteArray name = prepared_.value(text);
        if (name.isEmpty())
            name = parsing.value(text);
        if (name.isEmpty() && prepared_.size() + parsing.size() < kMaxPrepared &&
            seen_.value(text) > 0) {
            name = "tn_" + QByteArray::number(++named_);
            if (PQsendPrepare(conn_, name.constData(), text.constData(), count, nullptr) != 1) {
                ok = false;
                break;
            }
            parsing.insert(text, name);
            sent.push_back({true, text, name});
        } else if (name.isEmpty() && seen_.size() < kMaxSeen) {
            ++seen_[text];
        }
        sent.push_back({false, text, name});
        if ((name.isEmpty() ? PQsendQueryParams(conn_, text.constData(), count, nullptr,
                                                values.data(), nullptr, nullptr, 0)
                            : PQsendQueryPrepared(conn_, name.constData(), count, values.data(),
                                                  nullptr, nullptr, 0)) != 1) {
            ok = false;
            break;
        }
    }
    if (ok && PQpipelineSync(conn_) != 1)
        ok = false;
    if (!ok) {
        const QString reason = serverMessage(conn_);
        while (PGresult* r = PQgetResult(conn_))
            PQclear(r);
        PQexitPipelineMode(conn_);
        throw connectionLost(reason);
    }
    // Each statement's result is followed by a null; the sync ends the round trip. Two nulls in a
    // row mean nothing more will come (a connection that broke without libpq noticing it yet):
    // waiting on would spin for ever.
    bool lastWasNull = false;
    size_t item = 0;
    PgResult refusedParse;
    for (;;) {
        PGresult* r = PQgetResult(conn_);
        if (!r) {
            if (PQstatus(conn_) != CONNECTION_OK || lastWasNull)
                break;
            lastWasNull = true;
            continue;
        }
        lastWasNull = false;
        PgResult result(r);
        if (PQresultStatus(r) == PGRES_PIPELINE_SYNC)
            break;
        const Sent* what = item < sent.size() ? &sent[item] : nullptr;
        ++item;
        if (what && what->parse) {
            // Named only once the server took it: a Parse it skipped or refused names nothing,
            // and its refusal is the statement's answer.
            if (PQresultStatus(r) == PGRES_COMMAND_OK)
                prepared_.insert(what->text, what->name);
            else
                refusedParse = std::move(result);
            continue;
        }
        if (refusedParse.handle())
            result = std::move(refusedParse);
        // Another session changed the table under a named plan: the text is named anew.
        else if (what && !what->name.isEmpty() && sqlState(result) == u"0A000"_s)
            prepared_.remove(what->text);
        results.push_back(std::move(result));
    }
    PQexitPipelineMode(conn_);
    if (results.size() < expected) {
        answered_ = std::move(results);
        throw connectionLost(serverMessage(conn_));
    }
    return results;
}

void PgConnection::requireConnection() const {
    if (PQstatus(conn_) != CONNECTION_OK)
        throw connectionLost(serverMessage(conn_));
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
    QString message = result.handle()
                          ? QString::fromUtf8(PQresultErrorMessage(result.handle())).trimmed()
                          : QString();
    if (message.isEmpty())
        message = serverMessage(conn_);
    if (!context.isEmpty())
        message = context + u": "_s + message;
    if (PQstatus(conn_) != CONNECTION_OK || state.startsWith(u"08"_s) || state.startsWith(u"57P"_s))
        throw connectionLost(message);
    // A character the database's encoding cannot hold: that value's failure, no storage fault.
    if (state == u"22P05"_s || state == u"22021"_s)
        throw pgError(VdbCode::TypeMismatch, message);
    if (state == u"55P03"_s || state == u"40P01"_s || state == u"40001"_s)
        throw pgError(VdbCode::Locked, message);
    if (state == u"22P02"_s || state == u"22007"_s || state == u"22008"_s || state == u"22003"_s)
        throw pgError(VdbCode::TypeMismatch, message);
    if (state == u"42501"_s)
        throw pgError(PgCode::NoPrivilege, message);
    if (state == u"42P04"_s || state == u"42P07"_s || state == u"42710"_s)
        throw pgError(VdbCode::AlreadyExists, message);
    throw pgError(VdbCode::StorageFailure, message);
}
