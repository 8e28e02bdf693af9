#include "AppTitle.h"
#include "ChangeLog.h"
#include "ConversionRunParts.h"
#include "GlobalDefs.h"
#include "MessageBoxes.h"
#include "NumberFormatting.h"
#include "ProgressView.h"
#include "StringTable.h"

#include <algorithm>

// The stops: the user's own, where what the run stored so far is kept or put back from the run's
// journal by the same undo as a journal handed to the batch program; and the stop after an error,
// which keeps or rolls back the open batch.

using namespace Qt::StringLiterals;

void ConversionRun::askToStop() {
    if (busy_) {
        s_.progress.setBusy(false);
        busy_ = false;
    }
    const MsgAnswer answer = s_.boxes.yesNo(
        FormatString(LoadResourceString(IDS_RUN_STOP_LEAVES), {result_.processed, result_.total}) +
            u"\r\n"_s + LoadResourceString(IDS_RUN_ASK_CANCEL),
        AppTitle(), MsgIcon::Question, MsgAnswer::No);
    // A request made while the question was open is answered by it.
    stopRequested_.store(false);
    if (answer == MsgAnswer::Yes) {
        try {
            s_.log.stoppedByUser();
        } catch (const ErrorRecord&) {
            // The stop goes on: the questions and the batch matter more than the note.
        }
        stopByUser();
    }
    s_.progress.setBusy(true);
    busy_ = true;
}

void ConversionRun::stop() {
    // The record being visited is not stored.
    result_.converted -= std::exchange(recordCounted_, 0);
    journalUndone(std::exchange(recordJournaled_, 0));
    // A preview has nothing to keep or undo, nor has a batch whose commit failed.
    const bool open = transaction_ && begun_;
    const MsgAnswer rollback = open ? s_.boxes.yesNo(LoadResourceString(IDS_RUN_ASK_ROLLBACK),
                                                     AppTitle(), MsgIcon::Question, MsgAnswer::Yes)
                                    : MsgAnswer::No;
    try {
        if (open && rollback == MsgAnswer::Yes) {
            const bool heldChanges = result_.converted > convertedCommitted_;
            begun_ = false;
            transaction_->Rollback();
            result_.rolledBack = true;
            // The open batch's values are not in the database any more.
            result_.converted = convertedCommitted_;
            result_.records = recordsCommitted_;
            stored_.clear();
            journalUndone(std::exchange(journalBatch_, 0));
            if (heldChanges)
                s_.log.rollbackNotice();
        } else if (open) {
            commitBatch(false);
        }
    } catch (const ErrorRecord& error) {
        s_.boxes.ok(u"Error "_s + HexNumber(error.number()) + u"\r\n"_s + error.description(),
                    AppTitle(), MsgIcon::Exclamation);
    }
    handOverStored();
    s_.formatter.release();
    result_.stopped = true;
    throw Stop{};
}

void ConversionRun::stopByUser() {
    userStopped_ = true;
    result_.stopped = true;
    // The open batch's records are journaled like the committed ones: kept or undone with them.
    if (transaction_) {
        // A failed commit undoes the batch, counts its values as not stored and logs it.
        try {
            if (begun_)
                commitBatch(false);
        } catch (const ErrorRecord& error) {
            s_.boxes.ok(u"Error "_s + HexNumber(error.number()) + u"\r\n"_s + error.description(),
                        AppTitle(), MsgIcon::Exclamation);
        }
        transaction_.reset();
    }
    if (result_.converted > 0 && journalFrom_ >= 0)
        result_.undone =
            s_.boxes.yesNo(
                FormatString(LoadResourceString(IDS_RUN_ASK_UNDO_STORED), {result_.converted}),
                AppTitle(), MsgIcon::Question, MsgAnswer::No) == MsgAnswer::Yes;
    throw Stop{};
}

// A lost connection took the open batch with it, and every later step would fail the same way:
// the run ends at once, whatever the user or the error policy would answer, and the batch's
// values count as not stored, in the log and the journal too. A commit whose answer was lost
// stored the batch, or may have: those values count as stored, or as neither.
void ConversionRun::endOnLostConnection(const ErrorRecord& error) {
    lastError_ = error.number();
    const bool stored = error.number() == kLostAfterCommitNumber;
    const bool unknown = error.number() == kCommitUnknownNumber;
    // The record being visited is part of the batch: counted, journaled, not stored.
    if (stored || unknown) {
        result_.converted -= recordCounted_;
        result_.notStored += recordCounted_;
    }
    recordCounted_ = 0;
    journalUndone(std::exchange(recordJournaled_, 0));
    const qint32 lost = result_.converted - convertedCommitted_;
    if (stored || unknown) {
        begun_ = false;
        // An undo puts back only a value that holds what the run wrote: the journal's lines
        // stay, whether the server stored them or not.
        journalBatch_ = 0;
        if (stored) {
            convertedCommitted_ = result_.converted;
            recordsCommitted_ = result_.records;
            handOverStored();
        }
        result_.converted = convertedCommitted_;
        result_.records = recordsCommitted_;
        stored_.clear();
    } else if (transaction_ && (begun_ || lost > 0)) {
        begun_ = false;
        batchUndone();
    } else {
        result_.converted = convertedCommitted_;
        result_.records = recordsCommitted_;
        result_.notStored += lost;
        stored_.clear();
    }
    if (busy_) {
        s_.progress.setBusy(false);
        busy_ = false;
    }
    const QString note = FormatString(LoadResourceString(stored    ? IDS_RUN_LOST_AFTER_COMMIT
                                                         : unknown ? IDS_RUN_COMMIT_UNKNOWN
                                                                   : IDS_RUN_CONNECTION_LOST),
                                      {lost});
    try {
        s_.log.errorEntry(error.number(), error.description());
        s_.log.noteLine(note);
    } catch (const ErrorRecord&) {
        // The message below still says it.
    }
    s_.boxes.ok(u"Error "_s + HexNumber(error.number()) + u"\r\n"_s + error.description() +
                    u"\r\n"_s + note,
                AppTitle(), MsgIcon::Stop);
    s_.formatter.release();
    result_.stopped = true;
    throw Stop{};
}

void ConversionRun::endUserStop() {
    try {
        UndoPlan plan;
        qint64 places = 0;
        if (result_.undone && !readOwnChanges(plan, places, s_.log.journal().path(), journalFrom_))
            result_.undone = false;
        // An undo ends with a summary of its own.
        finish(!result_.undone);
        if (result_.undone)
            undoStored(plan, places);
    } catch (const Stop&) {
        // An error at the end that the user answered with a stop: nothing more to do.
    }
}

// The changes of the journal's run whose mark begins at the byte from.
bool ConversionRun::readOwnChanges(UndoPlan& plan, qint64& places, const QString& journal,
                                   qint64 from) {
    try {
        const auto own = [&](JournalEntry&& entry) {
            // Only fields this run could change: whatever else the file holds is not its own.
            const auto chosen = [&entry](const FieldPair& pair) {
                return pair.table == entry.table && pair.field == entry.field;
            };
            if (std::none_of(chosen_.cbegin(), chosen_.cend(), chosen))
                return;
            if (!plan.find(entry.table, entry.key, entry.field))
                ++places;
            plan.add(std::move(entry));
        };
        // This run's part only, however long the window's journal has grown.
        plan.facts().unkeyed =
            RunJournal::read(journal, own, nullptr, JournalPart::at(from)).unkeyed;
        // The fields this run chose are the ones its entries may put back.
        for (const FieldPair& pair : std::as_const(chosen_))
            plan.facts().fields.insert({pair.table, pair.field});
        return true;
    } catch (const ErrorRecord& error) {
        s_.boxes.ok(u"Error "_s + HexNumber(error.number()) + u"\r\n"_s + error.description(),
                    AppTitle(), MsgIcon::Exclamation);
        return false;
    }
}

void ConversionRun::undoStored(const UndoPlan& plan, qint64 places) {
    attempt([&] {
        s_.log.runSummary(
            FormatString(LoadResourceString(IDS_RUN_UNDOING_STORED), {result_.converted}), {});
    });
    QList<FieldPair> fields;
    for (const auto& [table, field] : plan.fields())
        fields << FieldPair{table, field};
    RunServices services = s_;
    services.undo = &plan;
    services.unreadableFound = {};
    services.convertedFound = {};
    // Every record the journal names, marked or not.
    ConversionRun undo(services, fields, false);
    // The records after the last one the run stored hold nothing of it.
    undo.undoPlaces_ = places;
    undoRun_.store(&undo);
    const RunResult undone = undo.run();
    undoRun_.store(nullptr);
    result_.putBack = undone.converted;
    result_.conflicts = undone.conflicts;
    result_.resultsAsked = undone.resultsAsked;
}

RunResult ConversionRun::undoOf(const RunResult& done) {
    auto plan = std::make_unique<UndoPlan>();
    qint64 places = 0;
    if (done.journalFrom < 0)
        return {};
    // A byte of another file would begin another run, to be undone in this one's place.
    if (RunJournal::fileIdAt(done.journal) != done.journalId) {
        s_.boxes.ok(u"Error "_s + HexNumber(ErrorNumber::FileAccess) + u"\r\nthe journal "_s +
                        done.journal + u" is not the file the run wrote"_s,
                    AppTitle(), MsgIcon::Exclamation);
        return {};
    }
    if (!readOwnChanges(*plan, places, done.journal, done.journalFrom))
        return {};
    chosen_.clear();
    for (const auto& [table, field] : plan->fields())
        chosen_ << FieldPair{table, field};
    onlyMarked_ = false;
    ownPlan_ = std::move(plan);
    s_.undo = ownPlan_.get();
    s_.convertedFound = {};
    s_.offerResults = false;
    undoPlaces_ = places;
    return run();
}

void ConversionRun::noteJournalPart() {
    if (journalFrom_ < 0 || result_.undone || !s_.convertedFound)
        return;
    result_.journal = s_.log.journal().path();
    result_.journalFrom = journalFrom_;
    result_.journalId = s_.log.journal().fileId();
}
