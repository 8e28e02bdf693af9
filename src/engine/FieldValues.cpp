#include "FieldValues.h"

#include "VdbErrors.h"

#include <QDate>
#include <QDateTime>

using namespace Qt::StringLiterals;

namespace {

bool isIntegral(const QVariant& v) {
    switch (v.metaType().id()) {
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
    case QMetaType::ULong:
        return true;
    default:
        return false;
    }
}

} // namespace

QVariant fieldValueFromStored(FieldType type, const QVariant& stored) {
    if (type == FieldType::Date && stored.metaType().id() == QMetaType::QString) {
        const QDate date = QDate::fromString(stored.toString(), Qt::ISODate);
        if (date.isValid())
            return date;
    }
    return stored;
}

QVariant storedFieldValue(const FieldDef& field, const QVariant& value) {
    if (!value.isValid() || value.isNull())
        return {};
    const int type = value.metaType().id();
    auto mismatch = [&]() -> ErrorRecord {
        return vdbError(VdbCode::TypeMismatch,
                        u"The value \""_s + value.toString() + u"\" does not suit the "_s +
                            fieldTypeName(field.type) + u" field \""_s + field.name + u"\"."_s);
    };
    const bool container = type == QMetaType::QVariantList || type == QMetaType::QVariantMap ||
                           type == QMetaType::QStringList || type == QMetaType::QVariantHash ||
                           type == QMetaType::QByteArray;
    if (container || !value.canConvert<QString>())
        throw mismatch();
    switch (field.type) {
    case FieldType::Text: {
        if (type == QMetaType::QDate)
            return value.toDate().toString(Qt::ISODate);
        QString text = value.toString();
        // SQL functions such as length() stop at a NUL: a condition would judge half the text.
        if (text.contains(QChar(u'\0')))
            throw vdbError(VdbCode::TypeMismatch, u"The value for the field \""_s + field.name +
                                                      u"\" contains a NUL character, which a "
                                                      "text cannot hold."_s);
        return text;
    }
    case FieldType::Integer: {
        if (isIntegral(value))
            return QVariant(value.toLongLong());
        bool ok = false;
        if (type == QMetaType::Double || type == QMetaType::Float) {
            const double d = value.toDouble();
            const auto i = static_cast<qint64>(d);
            if (static_cast<double>(i) == d && d > -9.2e18 && d < 9.2e18)
                return QVariant(i);
            throw mismatch();
        }
        const qint64 i = value.toString().trimmed().toLongLong(&ok);
        if (!ok)
            throw mismatch();
        return QVariant(i);
    }
    case FieldType::Real: {
        bool ok = false;
        const double d = isIntegral(value) || type == QMetaType::Double || type == QMetaType::Float
                             ? value.toDouble(&ok)
                             : value.toString().trimmed().toDouble(&ok);
        if (!ok)
            throw mismatch();
        return QVariant(d);
    }
    case FieldType::Date: {
        QDate date;
        if (type == QMetaType::QDate)
            date = value.toDate();
        else if (type == QMetaType::QDateTime)
            date = value.toDateTime().date();
        else if (type == QMetaType::QString)
            date = QDate::fromString(value.toString().trimmed(), Qt::ISODate);
        if (!date.isValid())
            throw mismatch();
        return date.toString(Qt::ISODate);
    }
    }
    throw mismatch();
}
