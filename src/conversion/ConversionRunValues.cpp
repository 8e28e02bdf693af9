#include "AppTitle.h"
#include "ChangeLog.h"
#include "ConversionRunParts.h"
#include "GlobalDefs.h"
#include "NumberFormatting.h"
#include "StringTable.h"
#include "UnreadableValue.h"

// How the run decides about one value: what to write, what to leave and why, and the summary.

using namespace Qt::StringLiterals;

namespace {

bool hasAsciiDigit(const QString& text) {
    return std::any_of(text.cbegin(), text.cend(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

bool hasAsciiDigit(const QByteArray& bytes) {
    return std::any_of(bytes.cbegin(), bytes.cend(), [](char c) { return c >= '0' && c <= '9'; });
}

} // namespace

const QString& ConversionRun::recordKey(TableState& state) {
    if (!state.key) {
        state.key = QString();
        if (auto* keys = dynamic_cast<RecordKey*>(state.table.get()))
            attempt([&] { state.key = keys->StableRecordKey(); });
    }
    return *state.key;
}

void ConversionRun::leaveUnchanged(TableState& state, const FieldPtr& field, Unreadable reason,
                                   const QString& value) {
    ++result_.unreadable;
    ++result_.unreadableBy[static_cast<size_t>(reason)];
    if (s_.unreadableFound) {
        attempt([&] {
            s_.unreadableFound(UnreadableValue{state.name, recordKey(state),
                                               s_.itemLabel(*state.table), field->Name(), value,
                                               reason});
        });
    }
    // Values of these kinds are odd data a person has to look at; the others are many and
    // counted only.
    if (reason != Unreadable::TooLong && reason != Unreadable::InvalidBytes)
        return;
    writeRecordHeader(state);
    attempt([&] {
        s_.log.unchangedLine(field->Name(), FormatString(LoadResourceString(IDS_RUN_LEFT_UNCHANGED),
                                                         {unreadableName(reason), value.size()}));
    });
}

bool ConversionRun::formatValue(TableState& state, const FieldPtr& field, const QVariant& value,
                                QString& text, QString& replacement) {
    if (value.metaType().id() == QMetaType::QByteArray) {
        // Stored bytes that are no text: whatever the run wrote would lose them.
        const QByteArray bytes = value.toByteArray();
        if (hasAsciiDigit(bytes))
            leaveUnchanged(state, field, Unreadable::InvalidBytes, QString::fromUtf8(bytes));
        return false;
    }
    // Numbers and dates are no telephone numbers.
    if (value.metaType().id() != QMetaType::QString)
        return false;
    text = value.toString();
    if (text.startsWith(u'-') || !hasAsciiDigit(text))
        return false;
    // Its canonical form could differ in blanks and brackets only: NumberChanged would say
    // no whatever the formatting gives, so the formatting is spared.
    if (NumberCannotChange(text))
        return false;
    FormattedValue formatted;
    if (!attempt([&] {
            QString copy = text;
            formatted = s_.formatter.format(copy);
        }))
        return false;
    replacement = formatted.text;
    bool changed = false;
    if (!attempt([&] { changed = NumberChanged(text, replacement); }))
        return false;
    if (!changed) {
        if (const std::optional<Unreadable> why = unreadable(formatted.reason))
            leaveUnchanged(state, field, *why, text);
    }
    return changed;
}

bool ConversionRun::undoValue(TableState& state, const FieldPtr& field, const QVariant& value,
                              QString& text, QString& replacement) {
    const QString& key = recordKey(state);
    // Without a key no record can be told from another.
    if (key.isEmpty())
        return false;
    const JournalEntry* change = s_.undo->find(state.name, key, field->Name());
    if (!change)
        return false;
    const bool isText = value.metaType().id() == QMetaType::QString;
    text = isText ? value.toString() : QString();
    if (isText && text == change->newValue) {
        replacement = change->oldValue;
        return true;
    }
    // Put back already (a rolled-back batch, an earlier undo).
    if (isText && text == change->oldValue)
        return false;
    ++result_.conflicts;
    writeRecordHeader(state);
    attempt([&] {
        s_.log.unchangedLine(
            field->Name(),
            FormatString(LoadResourceString(IDS_RUN_UNDO_CONFLICT),
                         {value.isNull() ? u"Null"_s : valueText(value), change->newValue}));
    });
    return false;
}

QStringList ConversionRun::summaryLines() const {
    QStringList lines;
    lines << (mode_ == RunMode::Preview
                  ? FormatString(LoadResourceString(IDS_RUN_WOULD_CONVERT), {result_.converted})
                  : QString::number(result_.converted) + LoadResourceString(IDS_RUN_CONVERTED));
    lines << FormatString(LoadResourceString(IDS_RUN_SUMMARY_LEFT),
                          {result_.notStored, result_.unreadable});
    if (s_.undo)
        lines << FormatString(LoadResourceString(IDS_RUN_UNDO_CONFLICTS), {result_.conflicts});
    return lines;
}

QString ConversionRun::unreadableLine() const {
    QStringList parts;
    for (int r = 0; r < kUnreadableReasons; ++r) {
        if (result_.unreadableBy[static_cast<size_t>(r)] > 0)
            parts << unreadableName(static_cast<Unreadable>(r)) + u": "_s +
                         QString::number(result_.unreadableBy[static_cast<size_t>(r)]);
    }
    QString count = QString::number(result_.unreadable);
    if (!parts.isEmpty())
        count += u" ("_s + parts.join(u", "_s) + u')';
    return FormatString(LoadResourceString(IDS_RUN_UNREADABLE_COUNT), {count});
}
