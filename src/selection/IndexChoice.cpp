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

std::shared_ptr<Expression> compile(Table& table, const QString& expression) {
    return table.Parent()->Parent()->Evaluator()->Compile(expression, 0);
}

QString defaultExpression(Table& table) {
    return table.Name() + u"->"_s + table.Fields()->Item(0)->Name();
}

} // namespace

QString GetItem(Table& table, MessageBoxes& boxes) {
    return RecordLabels(boxes)(table);
}

QString RecordLabels::operator()(Table& table) {
    try {
        const QString name = table.Name();
        auto known = tables_.find(name);
        if (known == tables_.end()) {
            QString expression;
            try {
                expression = labelText(table.Properties()->Item(u"ItemExpression"_s)->Value());
            } catch (const ErrorRecord&) {
                expression.clear(); // missing or unreadable: the default applies, no message
            }
            Compiled compiled;
            try {
                compiled.label =
                    compile(table, expression.isEmpty() ? defaultExpression(table) : expression);
            } catch (const ErrorRecord&) {
                compiled.label.reset(); // the first field stands in
            }
            known = tables_.insert(name, compiled);
        }
        if (known->label) {
            try {
                return labelText(known->label->Evaluate(0));
            } catch (const ErrorRecord&) {
                // this record's label fails: its first field stands in
            }
        }
        if (!known->fallback)
            known->fallback = compile(table, defaultExpression(table));
        return labelText(known->fallback->Evaluate(0));
    } catch (const ErrorRecord& error) {
        showWindowError(boxes_, error, u"GetItem"_s);
        return {};
    }
}
