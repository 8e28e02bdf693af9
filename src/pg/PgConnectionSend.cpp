#include "PgConnection.h"

#include "PgErrors.h"

#include <QByteArrayList>

using namespace Qt::StringLiterals;

// How statements reach the server: one at a time, or several in one round trip, each text the
// connection sent before under the name the server gave it.

namespace {

// A run sends a few dozen statement texts again and again; a text is named at its second use,
// and names stop at a bound, so the server keeps no more than that a connection.
constexpr qsizetype kMaxPrepared = 400;
constexpr qsizetype kMaxSeen = 4000;

} // namespace

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
    return PgResult(PQexecParams(conn_, text.constData(), static_cast<int>(values.size()), nullptr,
                                 values.data(), nullptr, nullptr, 0));
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

bool PgConnection::takeUnsentBegin() {
    if (!std::exchange(beginPending_, false))
        return false;
    if (std::exchange(ahead_, false) && PQtransactionStatus(conn_) != PQTRANS_IDLE)
        execRaw(u"ROLLBACK"_s);
    return true;
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
    if (std::exchange(beginPending_, false))
        all += beginning();
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
        throw pgConnectionLost(message());
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
        const QString reason = message();
        while (PGresult* r = PQgetResult(conn_))
            PQclear(r);
        PQexitPipelineMode(conn_);
        throw pgConnectionLost(reason);
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
        // Another session changed the table under a named plan, or a pooler or DEALLOCATE took
        // the name away: the text is named anew.
        else if (what && !what->name.isEmpty() &&
                 (sqlState(result) == u"0A000"_s || sqlState(result) == u"26000"_s))
            prepared_.remove(what->text);
        results.push_back(std::move(result));
    }
    PQexitPipelineMode(conn_);
    if (results.size() < expected) {
        answered_ = std::move(results);
        throw pgConnectionLost(message());
    }
    return results;
}
