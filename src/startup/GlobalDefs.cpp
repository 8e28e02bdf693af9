#include "GlobalDefs.h"

#include "AppTitle.h"
#include "MessageBoxes.h"
#include "StringTable.h"

#include <QMetaType>

using namespace Qt::StringLiterals;

namespace {

QString argumentText(const QVariant& value) {
    if (!value.isValid() || value.isNull())
        throw ErrorRecord(ErrorNumber::InvalidUseOfNull, u"Invalid use of Null"_s,
                          u"FormatString"_s);
    const int type = value.metaType().id();
    if (type == QMetaType::QVariantList || type == QMetaType::QVariantMap ||
        type == QMetaType::QStringList || type == QMetaType::QVariantHash ||
        !value.canConvert<QString>())
        throw ErrorRecord(ErrorNumber::TypeMismatch, u"Type mismatch"_s, u"FormatString"_s);
    return value.toString();
}

} // namespace

QString FormatString(const QString& text, const QVariantList& args) {
    QString result = text;
    for (const QVariant& arg : args) {
        const QString replacement = argumentText(arg);
        const qsizetype at = result.indexOf(u"%s");
        if (at >= 0)
            result.replace(at, 2, replacement);
    }
    result.replace(u"/n"_s, u"\r\n"_s);
    return result;
}

QString HexNumber(qint32 number) {
    return QString::number(static_cast<quint32>(number), 16).toUpper();
}

QString ErrorText(const ErrorRecord& error) {
    return error.description() + u" (&H"_s + HexNumber(error.number()) + u")"_s;
}

QString ShownErrorText(const ErrorRecord& error, MsgIcon* icon) {
    const qint32 n = error.number();
    if (icon)
        *icon = MsgIcon::Stop;
    if (n > 0)
        return ErrorText(error);
    try {
        // n - 0x80040000 in 32-bit arithmetic: a server error's code.
        const auto id = static_cast<qint32>(static_cast<quint32>(n) + 0x7FFC0000u);
        // A text with %s shows the server's reason (a database server's connection errors).
        const QString text = FormatString(LoadResourceString(id), {error.description()});
        if (icon)
            *icon = MsgIcon::Information;
        return text;
    } catch (const ErrorRecord& failure) {
        if (failure.number() == ErrorNumber::ResourceNotFound)
            return u"VelDbServer returned Error &H"_s + HexNumber(n);
        return ErrorText(failure);
    }
}

void ShowError(const ErrorRecord& error, MessageBoxes& boxes) {
    MsgIcon icon = MsgIcon::Stop;
    const QString text = ShownErrorText(error, &icon);
    try {
        boxes.ok(text, AppTitle(), icon);
    } catch (const ErrorRecord& failure) {
        if (error.number() > 0)
            throw;
        // The box itself failed: that failure is what the user sees.
        boxes.ok(ErrorText(failure), AppTitle(), MsgIcon::Stop);
    }
}
