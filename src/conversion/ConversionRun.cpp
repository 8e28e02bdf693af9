#include "ConversionRun.h"

#include "AppTitle.h"
#include "ChangeLog.h"
#include "ConversionRunParts.h"
#include "CountryNames.h"
#include "FormatPool.h"
#include "GlobalDefs.h"
#include "MessageBoxes.h"
#include "NumberCompleter.h"
#include "NumberFormatting.h"
#include "ProgressView.h"
#include "RunJournal.h"
#include "StringTable.h"
#include "UnreadableValue.h"

using namespace Qt::StringLiterals;

ConversionRun::ConversionRun(RunServices services, QList<FieldPair> chosen, bool onlyMarked,
                             RunMode mode)
    : s_(std::move(services))
    , onlyMarked_(onlyMarked)
    , mode_(mode)
    , pool_(std::make_unique<FormatPool>(s_.formatThreads)) {
    // A field chosen twice would be written, logged and counted twice for one stored value.
    for (FieldPair& pair : chosen) {
        if (!chosen_.contains(pair))
            chosen_ << std::move(pair);
    }
}

ConversionRun::~ConversionRun() = default;

void ConversionRun::handleError(const ErrorRecord& error, const QString& note) {
    if (error.number() == kConnectionLostNumber)
        endOnLostConnection(error);
    lastError_ = error.number();
    if (error.number() == kConditionViolated) {
        // The record's written values were not stored: the log lists them, the count drops them.
        result_.converted -= static_cast<qint32>(notes_.size());
        recordCounted_ = 0;
        try {
            s_.log.validationFailure(notes_);
        } catch (const ErrorRecord& logFailure) {
            handleError(logFailure);
            lastError_ = error.number();
        }
        return;
    }
    if (busy_) {
        s_.progress.setBusy(false);
        busy_ = false;
    }
    try {
        s_.log.errorEntry(error.number(), error.description());
        if (!note.isEmpty())
            s_.log.noteLine(note);
    } catch (const ErrorRecord&) {
        // The log itself may be what failed; the question below still reaches the user.
    }
    const MsgAnswer answer =
        s_.boxes.yesNo(u"Error "_s + HexNumber(error.number()) + u"\r\n"_s + error.description() +
                           u"\r\n"_s + LoadResourceString(IDS_RUN_ASK_CANCEL),
                       AppTitle(), MsgIcon::Exclamation, MsgAnswer::No);
    if (answer == MsgAnswer::Yes)
        stop();
    s_.progress.setBusy(true);
    busy_ = true;
}

// Nothing is changed when the log cannot take the changes: every write has its line first.
bool ConversionRun::prepareLog() {
    try {
        s_.log.prepare(s_.database->FileName(), s_.clock(), mode_ == RunMode::Preview);
        return true;
    } catch (const ErrorRecord& error) {
        s_.progress.setBusy(false);
        busy_ = false;
        s_.boxes.ok(u"Error "_s + HexNumber(error.number()) + u"\r\n"_s + error.description(),
                    AppTitle(), MsgIcon::Stop);
        return false;
    }
}

void ConversionRun::convertTable(const TablePtr& table) {
    TableState state;
    state.table = table;
    if (allPlaced() || !attempt([&] { state.name = table->Name(); }))
        return;
    bool firstInTable = true;
    for (const FieldPair& pair : chosen_) {
        if (pair.table != state.name)
            continue;
        FieldPtr field;
        if (attempt([&] { field = table->Fields()->Item(pair.field); }))
            state.fields << field;
        if (firstInTable && attempt([&] { s_.log.tableHeader(state.name); }))
            firstInTable = false;
        if (field)
            attempt([&] { s_.log.fieldNameLine(field->Name()); });
    }
    if (state.fields.isEmpty())
        return;
    if (const auto it = s_.countryFields.constFind(state.name); it != s_.countryFields.cend())
        attempt([&] { state.countryField = table->Fields()->Item(*it); });
    attempt([&] { s_.log.tableHeaderEnd(); });

    bool hasIdIndex = false;
    try {
        table->Indexes()->Item(u"ID"_s)->Name();
        hasIdIndex = true;
    } catch (const ErrorRecord&) {
        // No index "ID": the table's own choice below.
    }
    if (hasIdIndex) {
        attempt([&] { table->Indexes()->Activate(u"ID"_s, 0); });
    } else {
        QString index;
        attempt([&] { index = s_.indexName(*table); });
        if (!index.isEmpty())
            attempt([&] { table->Indexes()->Activate(index, 0); });
    }
    // Afresh for every table: a table without "ID" never uses another table's field.
    try {
        state.idField = table->Fields()->Item(u"ID"_s);
    } catch (const ErrorRecord&) {
        state.idField.reset();
    }
    attempt([&] { table->MoveFirst(kCursorOption); });
    attempt([&] { table->ShowMarked(true, kCursorOption); });
    // Set both ways: the table keeps the choice of an earlier run.
    attempt([&] { table->ShowUnmarked(!onlyMarked_, kCursorOption); });

    state.newRecord = true;
    batch_.clear();
    for (;;) {
        bool eof = true;
        // An end that cannot be read ends the table rather than looping on.
        if (allPlaced() || !attempt([&] { eof = table->Eof(); }) || eof)
            break;
        if (stopRequested_.exchange(false))
            askToStop();
        if (!visitRecord(state))
            break;
    }
}

// The region numbers without a country are read in, as the telephone component takes it.
const QString& ConversionRun::homeRegion() {
    if (!homeRegion_) {
        QString country;
        try {
            if (auto* location = dynamic_cast<TelephoneLocation*>(s_.database.get()))
                country = location->LocationCountry();
        } catch (const ErrorRecord&) {
            // No location to be had: the system's region, as for the component.
        }
        homeRegion_ = regionOfCountry(country).isEmpty() ? NumberCompleter::systemRegion()
                                                         : regionOfCountry(country);
    }
    return *homeRegion_;
}

void ConversionRun::writeRecordHeader(TableState& state) {
    if (!state.newRecord || !attempt([&] {
            const QString label = s_.itemLabel(*state.table);
            const QString id =
                state.idField ? valueText(state.idField->Value()) : state.table->RecordId();
            s_.log.recordHeader(label, id);
        }))
        return;
    state.newRecord = false;
    // Only a record read abroad says so.
    if (const QString country = foreignCountry(state); !country.isEmpty())
        attempt([&] { s_.log.countryLine(country); });
}

QString ConversionRun::foreignCountry(const TableState& state) {
    // A field's text can be anything: a name no country has is shown, but not at any length.
    constexpr qsizetype kShownLength = 40;
    const QString stored = state.country.trimmed();
    if (stored.isEmpty())
        return {};
    const QString region = regionOfCountry(stored);
    if (!region.isEmpty())
        return region == homeRegion() ? QString() : region;
    return stored.size() > kShownLength ? stored.left(kShownLength) + u'…' : stored;
}

bool ConversionRun::visitRecord(TableState& state) {
    Table& table = *state.table;
    notes_.clear();
    recordCounted_ = 0;
    recordJournaled_ = 0;
    changes_.clear();
    state.key.reset();
    state.label.reset();
    state.keyFailed = false;
    bool unlogged = false;
    bool dirty = false;
    const bool store = mode_ == RunMode::Convert;
    // A preview puts its values into the edit buffer only where the table can judge them as
    // Update would without writing; moving on drops them.
    auto* checker = store ? nullptr : dynamic_cast<UpdateCheck*>(state.table.get());
    const bool check = store || checker;
    readBatch(state);
    const QVariantList values = batch_.isEmpty() ? QVariantList() : batch_.takeFirst();
    QList<FieldPtr> written;
    QString& country = state.country;
    country.clear();
    if (state.countryField && !s_.undo) {
        if (values.size() > state.fields.size())
            country = valueText(values[state.fields.size()]);
        else
            attempt([&] { country = valueText(state.countryField->Value()); });
    }
    for (qsizetype f = 0; f < state.fields.size(); ++f) {
        const FieldPtr& field = state.fields[f];
        QVariant value;
        if (!values.isEmpty())
            value = values[f];
        else if (!attempt([&] { value = field->Value(); }))
            continue;
        if (!s_.undo && (!value.isValid() || value.isNull()))
            continue;
        QString oldValue;
        QString canonical;
        if (!(s_.undo ? undoValue(state, field, value, oldValue, canonical)
                      : formatValue(state, field, value, country, oldValue, canonical)))
            continue;
        // A value that did not reach the field is neither logged nor counted.
        if (check && !attempt([&] { field->SetValue(canonical); })) {
            ++result_.notStored;
            continue;
        }
        const QString fieldName = field->Name();
        writeRecordHeader(state);
        if (!attempt([&] { s_.log.changeLine(fieldName, oldValue, canonical); }))
            unlogged = true;
        notes_ << u"Field "_s + fieldName + u": "_s + oldValue;
        changes_ << JournalEntry{state.name, {}, fieldName, oldValue, canonical};
        written << field;
        ++result_.converted;
        ++recordCounted_;
        dirty = true;
    }
    // The record's lines reach the log and the journal before the record is stored.
    if (dirty && !unlogged && !attempt([&] { s_.log.flush(); }))
        unlogged = true;
    if (dirty && store && !unlogged && !journalRecord(state))
        unlogged = true;
    if (dirty && check) {
        const auto count = static_cast<qint32>(notes_.size());
        if (unlogged) {
            // A change without its log and journal lines is never stored: the cursor drops the
            // buffer.
            result_.converted -= count;
            result_.notStored += count;
        } else if (transaction_ && !begun_ && !beginBatch()) {
            result_.converted -= count;
            result_.notStored += count;
            journalUndone(std::exchange(recordJournaled_, 0));
        } else {
            storeRecord(state, written, checker);
        }
        recordCounted_ = 0;
        recordJournaled_ = 0;
    } else if (dirty) {
        ++result_.records; // a preview that cannot check: what it would store
        // A preview whose table cannot judge a value counts it as it would be stored.
        for (qsizetype i = 0; i < changes_.size(); ++i)
            noteStored(state, i);
    }
    state.newRecord = true;
    attempt([&] { addChecked(result_.processed, 1); });
    // The batch closes before the cursor moves on, so that the next record is read inside the
    // transaction that writes it: a change another program made in between is what it sees.
    if (result_.processed % step_ == 0 || result_.processed == result_.total)
        reportProgress(state.name);
    // A cursor that cannot move would visit this record for ever.
    return attempt([&] { table.Skip(1, kCursorOption); });
}

void ConversionRun::reportProgress(const QString& tableName) {
    // What was read belongs to the transaction that closes now.
    batch_.clear();
    attempt([&] {
        s_.progress.setStatus(FormatString(LoadResourceString(IDS_RUN_PROGRESS),
                                           {tableName, result_.processed, result_.total}));
    });
    attempt([&] {
        s_.progress.setProgressValue(std::min(result_.processed, result_.total));
        s_.progress.repaintProgress();
    });
    // Without a transaction (none could be had, or a preview) there is no batch to close.
    if (begun_) {
        commitBatch(true, transaction_ != nullptr);
    } else {
        convertedCommitted_ = result_.converted;
        recordsCommitted_ = result_.records;
        handOverStored();
    }
    attempt([&] { s_.progress.repaintWindow(); });
    if (transaction_)
        beginBatch();
}

void ConversionRun::finish(bool offerLog) {
    if (begun_)
        commitBatch();
    // A preview's last values, or a stopped run's kept batch.
    handOverStored();
    s_.formatter.release();
    const QStringList lines = summaryLines();
    attempt([&] {
        // The last summary stays where the progress was.
        s_.progress.setStatus(lines.join(u"  "_s));
        s_.progress.setProgressValue(0);
        s_.progress.repaintProgress();
    });
    if (busy_) {
        s_.progress.setBusy(false);
        busy_ = false;
    }
    logUnplaced();
    attempt([&] {
        QStringList more = lines.mid(1);
        if (result_.unreadable > 0)
            more << unreadableLine();
        s_.log.runSummary(lines.first(), more);
    });
    if (!offerLog)
        return;
    attempt([&] {
        MessageBoxRequest box{lines.join(u"\r\n"_s) + u"\r\n"_s +
                                  LoadResourceString(IDS_RUN_ASK_SHOW_LOG),
                              AppTitle(),
                              result_.notStored > 0 || result_.unplaced > 0 ? MsgIcon::Exclamation
                                                                            : MsgIcon::Information,
                              MsgButtons::YesNo, MsgAnswer::Yes};
        if (s_.offerResults)
            box.extraButton = LoadResourceString(IDS_RESULTS_SHOW);
        const MsgAnswer answer = s_.boxes.show(box);
        result_.resultsAsked = answer == MsgAnswer::Extra;
        if (answer == MsgAnswer::Yes && !s_.openViewer(s_.log.path()))
            s_.boxes.show({LoadResourceString(IDS_RUN_LOG_AT) + u"\r\n"_s + s_.log.path(),
                           AppTitle(), MsgIcon::Information, MsgButtons::Ok, MsgAnswer::Ok, true});
    });
}

RunResult ConversionRun::run() {
    result_ = RunResult{};
    result_.preview = mode_ == RunMode::Preview;
    s_.progress.setBusy(true);
    busy_ = true;
    if (!prepareLog())
        return result_;
    result_.started = true;
    journalFrom_ = -1;
    // An undo's log says what it undoes.
    if (s_.undo && !s_.undo->path().isEmpty())
        attempt([&] {
            const JournalFacts& facts = s_.undo->facts();
            s_.log.noteLine(FormatString(LoadResourceString(IDS_RUN_UNDO_OF),
                                         {facts.run, facts.runs, s_.undo->path()}));
        });
    try {
        checkUndoPlan();
        if (mode_ == RunMode::Convert && s_.log.journal().isOpen())
            attempt([&] {
                QList<FieldPairKey> fields;
                for (const FieldPair& pair : std::as_const(chosen_))
                    fields << FieldPairKey{pair.table, pair.field};
                s_.log.journal().runFields(fields);
                // The window's journal holds all its runs: this one's begins here.
                if (!s_.undo)
                    journalFrom_ = s_.log.journal().runStart();
            });
        countRecords();
        // A preview stores nothing, so it takes no write lock either.
        if (mode_ == RunMode::Convert)
            if (attempt([&] { transaction_ = s_.database->GetTransaction(0); }))
                beginBatch();
        CollectionRef<Tables> tables;
        int count = 0;
        attempt([&] {
            tables = s_.database->Tables();
            count = tables->Count();
        });
        for (int i = 0; i < count; ++i) {
            TablePtr table;
            if (attempt([&] { table = tables->At(i); }))
                convertTable(table);
        }
        recordsGone();
        finish();
    } catch (const Stop&) {
        // An error stopped the run, with its open batch committed or rolled back, or the user.
    }
    if (userStopped_)
        endUserStop();
    noteJournalPart();
    // An error after the pointer was restored may have set the hourglass again.
    if (busy_) {
        s_.progress.setBusy(false);
        busy_ = false;
    }
    transaction_.reset();
    result_.formatted = pool_->formatted();
    result_.remembered = pool_->remembered();
    return result_;
}
