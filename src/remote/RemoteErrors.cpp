#include "RemoteErrors.h"

#include "RemoteNames.h"

using namespace Qt::StringLiterals;

namespace Remote {

QString errorMessage(const ErrorRecord& error) {
    return u"0x"_s + QString::number(static_cast<quint32>(error.number()), 16).toUpper() + u": "_s +
           error.description();
}

QDBusMessage errorReply(const QDBusMessage& request, const ErrorRecord& error) {
    QDBusMessage reply = request.createErrorReply(errorName(), errorMessage(error));
    reply << error.source();
    return reply;
}

std::optional<ErrorRecord> parseError(const QDBusMessage& reply) {
    if (reply.type() != QDBusMessage::ErrorMessage || reply.errorName() != errorName())
        return std::nullopt;
    const QString message = reply.errorMessage();
    const qsizetype colon = message.indexOf(u": "_s);
    if (!message.startsWith(u"0x"_s, Qt::CaseInsensitive) || colon < 3)
        return std::nullopt;
    bool ok = false;
    const quint32 number = message.mid(2, colon - 2).toUInt(&ok, 16);
    if (!ok)
        return std::nullopt;
    const QList<QVariant> args = reply.arguments();
    const QString source = args.size() > 1 ? args.at(1).toString() : QString();
    return ErrorRecord(static_cast<qint32>(number), message.mid(colon + 2), source);
}

} // namespace Remote
