#include "IndexChoice.h"

#include "WindowErrors.h"

#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QSet>

using namespace Qt::StringLiterals;

QString GetIndexName(Table& table, MessageBoxes& boxes) {
    try {
        QSet<QString> passedOver;
        const auto uses = table.IndexUses();
        const qint32 count = uses->Count();
        for (qint32 position = 0; position < count; ++position)
            passedOver.insert(uses->Item(position)->Index()->Name().toCaseFolded());
        for (const auto& index : table.Indexes()) {
            const QString name = index->Name();
            if (!passedOver.contains(name.toCaseFolded()))
                return name;
        }
        return {};
    } catch (const ErrorRecord& error) {
        showWindowError(boxes, error, u"GetIndexName"_s);
        return {};
    }
}

namespace {

// A value as the label shows it; Null and values that are no text fail.
QString labelText(const QVariant& value) {
    if (!value.isValid() || value.isNull())
        throw ErrorRecord(ErrorNumber::InvalidUseOfNull, u"Invalid use of Null"_s);
    switch (value.metaType().id()) {
    case QMetaType::QDate:
        return QLocale().toString(value.toDate(), QLocale::ShortFormat);
    case QMetaType::QDateTime:
        return QLocale().toString(value.toDateTime(), QLocale::ShortFormat);
    case QMetaType::QVariantList:
    case QMetaType::QVariantMap:
    case QMetaType::QStringList:
        throw ErrorRecord(ErrorNumber::TypeMismatch, u"Type mismatch"_s);
    default:
        if (!value.canConvert<QString>())
            throw ErrorRecord(ErrorNumber::TypeMismatch, u"Type mismatch"_s);
        return value.toString();
    }
}

QString evaluateLabel(Table& table, const QString& expression) {
    const auto evaluator = table.Parent()->Parent()->Evaluator();
    return labelText(evaluator->Compile(expression, 0)->Evaluate(0));
}

QString defaultExpression(Table& table) {
    return table.Name() + u"->"_s + table.Fields()->Item(0)->Name();
}

} // namespace

QString GetItem(Table& table, MessageBoxes& boxes) {
    QString expression;
    try {
        expression = labelText(table.Properties()->Item(u"ItemExpression"_s)->Value());
    } catch (const ErrorRecord&) {
        expression.clear(); // missing or unreadable: the default applies, without a message
    }
    try {
        if (expression.isEmpty())
            expression = defaultExpression(table);
        try {
            return evaluateLabel(table, expression);
        } catch (const ErrorRecord&) {
            return evaluateLabel(table, defaultExpression(table));
        }
    } catch (const ErrorRecord& error) {
        showWindowError(boxes, error, u"GetItem"_s);
        return {};
    }
}
