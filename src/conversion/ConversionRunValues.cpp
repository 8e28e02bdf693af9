#include "AppTitle.h"
#include "BatchRead.h"
#include "ChangeLog.h"
#include "ConversionRunParts.h"
#include "FormatPool.h"
#include "GlobalDefs.h"
#include "NumberFormatting.h"
#include "ProgressView.h"
#include "StringTable.h"
#include "UnreadableValue.h"

// How the run counts what it visits and decides about one value: what to write, what to leave and
// why, and the summary.

using namespace Qt::StringLiterals;

namespace {

bool hasAsciiDigit(const QString& text) {
    return std::any_of(text.cbegin(), text.cend(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

bool hasAsciiDigit(const QByteArray& bytes) {
    return std::any_of(bytes.cbegin(), bytes.cend(), [](char c) { return c >= '0' && c <= '9'; });
}

// The texts the run formats: with a digit, not starting with "-", and with a canonical form that
// could differ in more than blanks and brackets unless layout counts.
bool needsFormatting(const QVariant& value, bool layoutCounts) {
    if (value.metaType().id() != QMetaType::QString)
        return false;
    const QString text = value.toString();
    return !text.startsWith(u'-') && hasAsciiDigit(text) &&
           (layoutCounts || !NumberCannotChange(text));
}

} // namespace

// At a batch's first record (and a table's first within a batch): the batch's records with one
// read inside its transaction, and the texts of the batch and of the next one handed to the
// other threads, so that they are formatted while this thread writes, logs and commits. The
// next batch is read again inside its own transaction: what it formats ahead is never taken for
// its values, only remembered by text.
void ConversionRun::readBatch(TableState& state) {
    auto* reader = dynamic_cast<BatchRead*>(state.table.get());
    if (!batch_.isEmpty() || !reader)
        return;
    const qint32 remaining = step_ - result_.processed % step_;
    QList<QVariantList> read;
    try {
        if (state.fieldNames.isEmpty()) {
            for (const FieldPtr& field : state.fields)
                state.fieldNames << field->Name();
            // Read behind the chosen fields, never converted.
            if (state.countryField && !s_.undo)
                state.fieldNames << state.countryField->Name();
        }
        read = reader->ReadAhead(state.fieldNames, s_.undo ? remaining : remaining + step_);
    } catch (const ErrorRecord& error) {
        // A lost connection ends the run; after another failure the values are read one by
        // one, and a failure there is reported at its field.
        if (error.number() == kConnectionLostNumber)
            handleError(error);
        state.fieldNames.clear();
        return;
    }
    if (!s_.undo) {
        QStringList texts;
        QStringList countries;
        const qsizetype fields = state.fields.size();
        for (const QVariantList& record : std::as_const(read)) {
            const QString country = record.size() > fields ? valueText(record[fields]) : QString();
            for (qsizetype f = 0; f < std::min(fields, record.size()); ++f) {
                if (needsFormatting(record[f], layoutCounts())) {
                    texts << record[f].toString();
                    countries << country;
                }
            }
        }
        pool_->ahead(s_.formatter, texts, countries);
    }
    // A preview holds no transaction that would keep what it read fresh.
    if (transaction_) {
        read.resize(std::min<qsizetype>(read.size(), remaining));
        batch_ = std::move(read);
    }
}

void ConversionRun::countRecords() {
    result_.total = 0;
    CollectionRef<Tables> tables;
    int count = 0;
    if (attempt([&] {
            tables = s_.database->Tables();
            count = tables->Count();
        })) {
        for (int i = 0; i < count; ++i) {
            attempt([&] {
                const TablePtr table = tables->At(i);
                const QString name = table->Name();
                const bool chosen =
                    std::any_of(chosen_.cbegin(), chosen_.cend(),
                                [&](const FieldPair& p) { return p.table == name; });
                if (chosen)
                    addChecked(result_.total,
                               onlyMarked_ ? table->MarkedCount() : table->RecordCount());
            });
        }
    }
    attempt([&] { s_.progress.setProgressMaximum(result_.total); });
    step_ = result_.total < 100 ? 1 : 10;
}

const QString& ConversionRun::recordKey(TableState& state) {
    if (!state.key) {
        state.key = QString();
        if (auto* keys = dynamic_cast<RecordKey*>(state.table.get()))
            state.keyFailed = !attempt([&] { state.key = keys->StableRecordKey(); });
    }
    return *state.key;
}

void ConversionRun::leaveUnchanged(TableState& state, const FieldPtr& field, Unreadable reason,
                                   const QString& value) {
    ++result_.unreadable;
    ++result_.unreadableBy[static_cast<size_t>(reason)];
    tellLeft(state, field->Name(), value, reason, {}, foreignCountry(state));
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
                                const QString& country, QString& text, QString& replacement) {
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
    // A text field cannot take a NUL back: the value is odd data, not a reason to stop the run.
    if (text.contains(QChar(u'\0'))) {
        leaveUnchanged(state, field, Unreadable::InvalidBytes, text);
        return false;
    }
    // Its canonical form could differ in blanks and brackets only: NumberChanged would say
    // no whatever the formatting gives, so the formatting is spared unless layout counts.
    if (!layoutCounts() && NumberCannotChange(text))
        return false;
    FormattedValue formatted;
    if (!attempt([&] { formatted = pool_->format(s_.formatter, text, country); }))
        return false;
    replacement = formatted.text;
    bool changed = false;
    if (!attempt([&] { changed = NumberChanged(text, replacement); }))
        return false;
    // Blanks and brackets are written only on request; a value left in another layout is
    // reported.
    changed = changed || (s_.uniform && replacement != text);
    if (changed)
        return true;
    if (const std::optional<Unreadable> why = unreadable(formatted.reason)) {
        leaveUnchanged(state, field, *why, text);
    } else if (replacement != text) {
        tellLeft(state, field->Name(), text, Unreadable::LayoutOnly, replacement,
                 foreignCountry(state));
    }
    return false;
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
    ++undoMet_;
    placed_.insert(change);
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
    tellLeft(state, field->Name(), value.isNull() ? u"Null"_s : valueText(value),
             Unreadable::UndoConflict, change->newValue, {});
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
    // The line above counts values, as it always has: this one says so.
    lines << FormatString(LoadResourceString(IDS_RUN_RECORDS_CONVERTED),
                          {result_.converted, result_.records});
    lines << FormatString(LoadResourceString(IDS_RUN_SUMMARY_LEFT),
                          {result_.notStored, result_.unreadable});
    if (s_.undo)
        lines << FormatString(LoadResourceString(IDS_RUN_UNDO_CONFLICTS), {result_.conflicts});
    if (result_.unplaced > 0)
        lines << unplacedLine();
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
