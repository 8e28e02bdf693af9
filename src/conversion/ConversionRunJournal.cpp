#include "AppTitle.h"
#include "ChainedCommit.h"
#include "ChangeLog.h"
#include "ConversionRunParts.h"
#include "GlobalDefs.h"
#include "MessageBoxes.h"
#include "ProgressView.h"
#include "StringTable.h"

#include <QFileInfo>

// What the run keeps of its changes for an undo, what becomes of a batch that did not commit,
// and what an undo could not put back.

using namespace Qt::StringLiterals;

namespace {

QString unplacedName(Unplaced reason) {
    static constexpr std::array<int, kUnplacedReasons> kNames{
        IDS_UNPLACED_NO_KEY,        IDS_UNPLACED_RECORD_GONE,    IDS_UNPLACED_UNKNOWN_TABLE,
        IDS_UNPLACED_UNKNOWN_FIELD, IDS_UNPLACED_OTHER_DATABASE, IDS_UNPLACED_NOT_RUN_CHANGE,
        IDS_UNPLACED_CUT_OFF};
    return LoadResourceString(kNames[static_cast<size_t>(reason)]);
}

// The database a journal's header names: the same file by whatever path, or the same URI.
bool sameDatabase(const QString& named, const QString& open) {
    if (named == open)
        return true;
    const QString canonical = QFileInfo(named).canonicalFilePath();
    return !canonical.isEmpty() && canonical == QFileInfo(open).canonicalFilePath();
}

// The condition a refusal names ("... does not meet its condition (length <= 20)."), else the
// refusal's text.
QString conditionOf(const ErrorRecord& error) {
    const QString text = error.description();
    const QString opening = u"its condition ("_s;
    const qsizetype at = text.indexOf(opening);
    if (at < 0 || !text.endsWith(u")."_s))
        return text;
    return text.mid(at + opening.size(), text.size() - at - opening.size() - 2);
}

} // namespace

void ConversionRun::storeRecord(TableState& state, const QList<FieldPtr>& written,
                                UpdateCheck* checker) {
    const auto count = static_cast<qint32>(written.size());
    const auto save = [&] {
        if (checker)
            checker->CheckUpdate(kCursorOption);
        else
            state.table->Update(kCursorOption);
    };
    QList<std::pair<qsizetype, QString>> refused;
    try {
        save();
        ++result_.records;
        // Only lines the journal holds: an unkeyed record has none for an "undone" to take back.
        journalBatch_ += std::exchange(recordJournaled_, 0);
        for (qsizetype i = 0; i < count; ++i)
            noteStored(state, i);
        return;
    } catch (const ErrorRecord& error) {
        if (error.number() != kConditionViolated) {
            handleError(error);
            // Not stored, so not converted.
            result_.converted -= count;
            result_.notStored += count;
            journalUndone(std::exchange(recordJournaled_, 0));
            return;
        }
        lastError_ = error.number();
        refused << std::pair{qsizetype(0), conditionOf(error)};
    }
    // The other values could otherwise never be converted: the record as read, then each value
    // alone, each after its journal line. What the engine takes is stored; what it refuses is not.
    const bool journaled = !checker && recordJournaled_ > 0;
    journalUndone(std::exchange(recordJournaled_, 0));
    if (count > 1) {
        refused.clear();
        bool usable = true;
        bool stored = false;
        for (qsizetype i = 0; usable && i < count; ++i)
            usable = attempt([&] { written[i]->SetValue(changes_[i].oldValue); });
        for (qsizetype i = 0; i < count; ++i) {
            if (usable && storeAlone(state, written[i], i, journaled, checker, refused, usable)) {
                if (!std::exchange(stored, true))
                    ++result_.records;
                continue;
            }
            --result_.converted;
            ++result_.notStored;
            --recordCounted_;
        }
    } else {
        --result_.converted;
        ++result_.notStored;
    }
    recordCounted_ = 0;
    if (refused.isEmpty())
        return;
    QStringList notes;
    for (const auto& [i, condition] : std::as_const(refused)) {
        notes << notes_[i];
        tellLeft(state, changes_[i].field, changes_[i].oldValue, Unreadable::RefusedByCondition,
                 condition, foreignCountry(state));
    }
    attempt([&] { s_.log.validationFailure(notes); });
}

bool ConversionRun::storeAlone(TableState& state, const FieldPtr& field, qsizetype i,
                               bool journaled, UpdateCheck* checker,
                               QList<std::pair<qsizetype, QString>>& refused, bool& usable) {
    const JournalEntry& change = changes_[i];
    if (journaled && !attempt([&] {
            s_.log.journal().write(change);
            s_.log.journal().flush();
        }))
        return false;
    recordJournaled_ = journaled ? 1 : 0;
    if (attempt([&] { field->SetValue(change.newValue); })) {
        try {
            if (checker)
                checker->CheckUpdate(kCursorOption);
            else
                state.table->Update(kCursorOption);
            --recordCounted_;
            recordJournaled_ = 0;
            if (journaled)
                ++journalBatch_;
            noteStored(state, i);
            return true;
        } catch (const ErrorRecord& error) {
            if (error.number() == kConditionViolated) {
                lastError_ = error.number();
                refused << std::pair{i, conditionOf(error)};
            } else {
                handleError(error);
            }
        }
        // The value must not ride along with the next one.
        usable = attempt([&] { field->SetValue(change.oldValue); });
    }
    journalUndone(std::exchange(recordJournaled_, 0));
    return false;
}

// A database without record keys gives changes that no undo could find again: the run says so
// once, marks its journal and journals none of them. False when the journal could not take the
// record's changes: the record is then not stored.
bool ConversionRun::journalRecord(TableState& state) {
    RunJournal& journal = s_.log.journal();
    if (!journal.isOpen())
        return false;
    const QString& key = recordKey(state);
    if (state.keyFailed)
        return false;
    if (key.isEmpty()) {
        if (!saidUnkeyed_) {
            saidUnkeyed_ = true;
            const QString text = LoadResourceString(IDS_RUN_CANNOT_UNDO);
            if (!attempt([&] {
                    journal.markUnkeyed();
                    s_.log.noteLine(text);
                }))
                return false;
            if (busy_)
                s_.progress.setBusy(false);
            s_.boxes.ok(text, AppTitle(), MsgIcon::Information);
            s_.progress.setBusy(true);
            busy_ = true;
        }
        return true;
    }
    return attempt([&] {
        for (JournalEntry& change : changes_) {
            change.key = key;
            journal.write(change);
        }
        journal.flush();
        recordJournaled_ = static_cast<qint32>(changes_.size());
    });
}

void ConversionRun::noteStored(TableState& state, qsizetype i) {
    if (!s_.convertedFound)
        return;
    const JournalEntry& change = changes_[i];
    stored_ << UnreadableValue{state.name,     recordKey(state), recordLabel(state),
                               change.field,   change.oldValue,  Unreadable::Converted,
                               change.newValue};
}

// Read once a record, however many of its values are told of.
const QString& ConversionRun::recordLabel(TableState& state) {
    if (!state.label) {
        state.label = QString();
        attempt([&] { state.label = s_.itemLabel(*state.table); });
    }
    return *state.label;
}

void ConversionRun::tellLeft(TableState& state, const QString& field, const QString& value,
                             Unreadable reason, const QString& detail, const QString& country) {
    if (s_.unreadableFound)
        attempt([&] {
            s_.unreadableFound(UnreadableValue{state.name, recordKey(state), recordLabel(state),
                                               field, value, reason, detail, country});
        });
}

void ConversionRun::handOverStored() {
    if (!stored_.isEmpty() && s_.convertedFound)
        attempt([&] { s_.convertedFound(std::exchange(stored_, {})); });
    stored_.clear();
}

void ConversionRun::journalUndone(qint32 count) {
    if (count <= 0 || !s_.log.journal().isOpen())
        return;
    try {
        s_.log.journal().markUndone(count);
    } catch (const ErrorRecord&) {
        // The lines stay: an undo finds those fields as they were, which is no conflict.
    }
}

// Nothing is written outside a batch: a record would be stored at once, and the batch's commit
// would then fail for want of a transaction.
bool ConversionRun::beginBatch() {
    begun_ = attempt([&] { transaction_->Begin(0); });
    return begun_;
}

void ConversionRun::commitBatch(bool ask, bool thenBegin) {
    begun_ = false;
    try {
        auto* chained = thenBegin ? dynamic_cast<ChainedCommit*>(transaction_.get()) : nullptr;
        if (chained)
            chained->CommitThenBegin();
        else
            transaction_->Commit();
        convertedCommitted_ = result_.converted;
        recordsCommitted_ = result_.records;
        journalBatch_ = 0;
        handOverStored();
    } catch (const ErrorRecord& error) {
        if ((ask && error.number() == kConnectionLostNumber) ||
            error.number() == kLostAfterCommitNumber || error.number() == kCommitUnknownNumber)
            endOnLostConnection(error);
        const QString note = batchUndone();
        if (ask) {
            handleError(error, note);
            return;
        }
        try {
            s_.log.errorEntry(error.number(), error.description());
            s_.log.noteLine(note);
        } catch (const ErrorRecord&) {
            // The failure itself is shown by the caller.
        }
        throw;
    }
}

// A commit that failed stores nothing of its batch: an engine that kept the batch open is made to
// drop it, so that no later commit can store what the run counted as lost.
QString ConversionRun::batchUndone() {
    try {
        transaction_->Rollback();
    } catch (const ErrorRecord&) {
        // The engine undid the batch itself.
    }
    const qint32 lost = result_.converted - convertedCommitted_;
    result_.converted = convertedCommitted_;
    result_.records = recordsCommitted_;
    result_.notStored += lost;
    stored_.clear();
    ++result_.batchesUndone;
    journalUndone(std::exchange(journalBatch_, 0));
    return FormatString(LoadResourceString(IDS_RUN_BATCH_UNDONE), {lost});
}

void ConversionRun::unplaced(Unplaced reason, const JournalEntry& entry) {
    ++result_.unplaced;
    ++result_.unplacedBy[static_cast<size_t>(reason)];
    unplacedEntries_ << std::pair{reason, entry};
    // A record deleted since the run is a change since the run as much as a changed value.
    if (reason == Unplaced::RecordGone && s_.unreadableFound)
        attempt([&] {
            s_.unreadableFound(UnreadableValue{entry.table,
                                               entry.key,
                                               {},
                                               entry.field,
                                               {},
                                               Unreadable::UndoConflict,
                                               entry.newValue});
        });
}

// Before an undo visits anything: the entries it cannot place whatever it finds, and the fields
// it can.
void ConversionRun::checkUndoPlan() {
    if (!s_.undo)
        return;
    const UndoPlan& plan = *s_.undo;
    const JournalFacts& facts = plan.facts();
    for (const JournalEntry& entry : plan.keyless())
        unplaced(Unplaced::NoKey, entry);
    if (facts.cutOff)
        unplaced(Unplaced::CutOff, {});
    // A run that could not key its records journaled none of its changes: none can be put back.
    if (facts.unkeyed)
        unplaced(Unplaced::NoKey, {});
    QString database;
    attempt([&] { database = s_.database->FileName(); });
    const bool ours =
        std::all_of(facts.databases.cbegin(), facts.databases.cend(),
                    [&](const QString& named) { return sameDatabase(named, database); });
    QList<FieldPair> kept;
    for (const auto& [tableName, fieldName] : plan.fields()) {
        std::optional<Unplaced> why;
        if (!ours)
            why = Unplaced::OtherDatabase;
        else if (!facts.fields.contains({tableName, fieldName}))
            why = Unplaced::NotRunChange;
        TablePtr table;
        FieldPtr field;
        if (!why) {
            try {
                table = s_.database->Tables()->Item(tableName);
            } catch (const ErrorRecord&) {
                why = Unplaced::UnknownTable;
            }
        }
        if (!why) {
            try {
                field = table->Fields()->Item(fieldName);
            } catch (const ErrorRecord&) {
                why = Unplaced::UnknownField;
            }
        }
        if (!why) {
            auto* kind = dynamic_cast<FieldKind*>(field.get());
            if (kind && !kind->HoldsText())
                why = Unplaced::NotRunChange;
        }
        if (!why) {
            kept << FieldPair{tableName, fieldName};
            continue;
        }
        for (const JournalEntry& entry : *plan.entries(tableName, fieldName))
            unplaced(*why, entry);
    }
    QList<FieldPair> chosen;
    for (const FieldPair& pair : std::as_const(chosen_)) {
        if (kept.contains(pair))
            chosen << pair;
    }
    chosen_ = chosen;
}

// After an undo's visit: the entries whose records it never met.
void ConversionRun::recordsGone() {
    if (!s_.undo)
        return;
    for (const FieldPair& pair : std::as_const(chosen_)) {
        if (const auto* entries = s_.undo->entries(pair.table, pair.field)) {
            for (const JournalEntry& entry : *entries) {
                if (!placed_.contains(&entry))
                    unplaced(Unplaced::RecordGone, entry);
            }
        }
    }
}

void ConversionRun::logUnplaced() {
    if (unplacedEntries_.isEmpty())
        return;
    std::stable_sort(unplacedEntries_.begin(), unplacedEntries_.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    attempt([&] {
        s_.log.noteLine(QString());
        for (const auto& [reason, e] : std::as_const(unplacedEntries_)) {
            s_.log.noteLine(reason == Unplaced::CutOff ||
                                    (reason == Unplaced::NoKey && e.table.isEmpty())
                                ? FormatString(LoadResourceString(IDS_RUN_UNPLACED_COUNT),
                                               {1, unplacedName(reason)})
                                : FormatString(LoadResourceString(IDS_RUN_UNPLACED_ENTRY),
                                               {unplacedName(reason), e.table, e.key, e.field,
                                                e.newValue, e.oldValue}));
        }
    });
}

QString ConversionRun::unplacedLine() const {
    QStringList parts;
    for (int r = 0; r < kUnplacedReasons; ++r) {
        if (const qint32 n = result_.unplacedBy[static_cast<size_t>(r)]; n > 0)
            parts << unplacedName(static_cast<Unplaced>(r)) + u": "_s + QString::number(n);
    }
    return FormatString(LoadResourceString(IDS_RUN_UNPLACED_COUNT),
                        {result_.unplaced, parts.join(u", "_s)});
}
