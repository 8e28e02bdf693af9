#include "RemoteValues.h"

#include "RemoteDatabase.h"
#include "RemoteLink.h"

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusVariant>
#include <QDate>
#include <QDateTime>

using namespace Qt::StringLiterals;

namespace Remote {

namespace {

ErrorRecord badValue(const QString& what) {
    return RemoteLink::failure(RemoteCode::CallFailed, u" (a value "_s + what + u")"_s);
}

} // namespace

QVariantList packValue(const QVariant& value) {
    if (!value.isValid() || value.isNull())
        return {};
    switch (value.metaType().id()) {
    case QMetaType::QString:
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::QByteArray:
        return {value};
    case QMetaType::QDate:
        return {value.toDate().toString(Qt::ISODate)};
    case QMetaType::QDateTime:
        return {value.toDateTime().toString(Qt::ISODate)};
    default:
        return {value.toString()};
    }
}

QVariant unpackValue(const QVariant& argument) {
    QVariantList list;
    if (argument.canConvert<QDBusArgument>())
        list = qdbus_cast<QVariantList>(argument.value<QDBusArgument>());
    else
        list = argument.toList();
    if (list.isEmpty())
        return {};
    if (list.size() > 1)
        throw badValue(u"of "_s + QString::number(list.size()) + u" parts"_s);
    QVariant value = list.first();
    if (value.canConvert<QDBusVariant>() && value.metaType() == QMetaType::fromType<QDBusVariant>())
        value = value.value<QDBusVariant>().variant();
    if (value.metaType() == QMetaType::fromType<QDBusArgument>())
        throw badValue(u"of type "_s + value.value<QDBusArgument>().currentSignature());
    // Small integers from a host in another language arrive in any width.
    switch (value.metaType().id()) {
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::UChar:
    case QMetaType::Int:
    case QMetaType::UInt:
        return QVariant(value.toLongLong());
    default:
        return value;
    }
}

QVariant packValues(const QList<QVariant>& values) {
    QDBusArgument argument;
    argument.beginArray(QMetaType::fromType<QVariantList>());
    for (const QVariant& value : values)
        argument << packValue(value);
    argument.endArray();
    return QVariant::fromValue(argument);
}

QList<QVariant> unpackValues(const QVariant& argument, qsizetype most) {
    QList<QVariant> values;
    if (!argument.canConvert<QDBusArgument>()) {
        const QVariantList items = argument.toList();
        if (items.size() > most)
            throw badValue(u"list longer than "_s + QString::number(most));
        for (const QVariant& item : items)
            values << unpackValue(item);
        return values;
    }
    const QDBusArgument array = argument.value<QDBusArgument>();
    if (array.currentSignature() != u"aav")
        throw badValue(u"list of type "_s + array.currentSignature());
    array.beginArray();
    while (!array.atEnd()) {
        if (values.size() >= most)
            throw badValue(u"list longer than "_s + QString::number(most));
        QVariantList item;
        array >> item;
        values << unpackValue(QVariant(item));
    }
    array.endArray();
    return values;
}

} // namespace Remote
