#include "ConversionRun.h"

#include "AppTitle.h"
#include "ChangeLog.h"
#include "GlobalDefs.h"
#include "MessageBoxes.h"
#include "NumberFormatting.h"
#include "ProgressView.h"
#include "StringTable.h"

#include <QDate>

using namespace Qt::StringLiterals;

namespace {

constexpr qint32 kConditionViolated = static_cast<qint32>(0x80041076u);

bool hasAsciiDigit(const QString& text) {
    return std::any_of(text.cbegin(), text.cend(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

// A stored value as the run reads and logs it.
QString valueText(const QVariant& value) {
    if (value.metaType().id() == QMetaType::QDate)
        return value.toDate().toString(Qt::ISODate);
    return value.toString();
}

void addChecked(qint32& sum, qint32 value) {
    if (__builtin_add_overflow(sum, value, &sum))
        throw ErrorRecord(ErrorNumber::Overflow, u"Overflow"_s, u"ConversionRun"_s);
}

} // namespace

struct ConversionRun::TableState {
    TablePtr table;
    QString name;
    QList<FieldPtr> fields;
    FieldPtr idField;
    bool newRecord = true;
};

ConversionRun::ConversionRun(RunServices services, QList<FieldPair> chosen, bool onlyMarked)
    : s_(std::move(services))
    , chosen_(std::move(chosen))
    , onlyMarked_(onlyMarked) {}

template <class Step>
bool ConversionRun::attempt(Step&& step) {
    try {
        step();
        return true;
    } catch (const ErrorRecord& error) {
        handleError(error);
        return false;
    }
}

void ConversionRun::handleError(const ErrorRecord& error) {
    lastError_ = error.number();
    if (error.number() == kConditionViolated) {
        // The record's written values were not stored: the log lists them, the count drops them.
        result_.converted -= static_cast<qint32>(notes_.size());
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

void ConversionRun::stop() {
    const MsgAnswer rollback = s_.boxes.yesNo(LoadResourceString(IDS_RUN_ASK_ROLLBACK), AppTitle(),
                                              MsgIcon::Question, MsgAnswer::Yes);
    try {
        if (transaction_) {
            if (rollback == MsgAnswer::Yes) {
                transaction_->Rollback();
                result_.rolledBack = true;
                // The open batch's values are not in the database any more.
                result_.converted = convertedCommitted_;
                s_.log.rollbackNotice();
            } else {
                transaction_->Commit();
            }
        }
    } catch (const ErrorRecord& error) {
        s_.boxes.ok(u"Error "_s + HexNumber(error.number()) + u"\r\n"_s + error.description(),
                    AppTitle(), MsgIcon::Exclamation);
    }
    s_.formatter.release();
    result_.stopped = true;
    throw Stop{};
}

// Nothing is changed when the log cannot take the changes: every write has its line first.
bool ConversionRun::prepareLog() {
    try {
        s_.log.prepare(s_.database->FileName(), s_.clock());
        return true;
    } catch (const ErrorRecord& error) {
        s_.progress.setBusy(false);
        busy_ = false;
        s_.boxes.ok(u"Error "_s + HexNumber(error.number()) + u"\r\n"_s + error.description(),
                    AppTitle(), MsgIcon::Stop);
        return false;
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

void ConversionRun::convertTable(const TablePtr& table) {
    TableState state;
    state.table = table;
    if (!attempt([&] { state.name = table->Name(); }))
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
    for (;;) {
        bool eof = true;
        // An end that cannot be read ends the table rather than looping on.
        if (!attempt([&] { eof = table->Eof(); }) || eof)
            break;
        if (!visitRecord(state))
            break;
    }
}

bool ConversionRun::visitRecord(TableState& state) {
    Table& table = *state.table;
    notes_.clear();
    bool unlogged = false;
    bool dirty = false;
    for (const FieldPtr& field : state.fields) {
        QVariant value;
        if (!attempt([&] { value = field->Value(); }))
            continue;
        if (!value.isValid() || value.isNull())
            continue;
        const QString text = valueText(value);
        if (text.startsWith(u'-') || !hasAsciiDigit(text))
            continue;
        // Its canonical form could differ in blanks and brackets only: NumberChanged would say
        // no whatever the formatting gives, so the formatting is spared.
        if (NumberCannotChange(text))
            continue;
        QString canonical;
        if (!attempt([&] {
                QString copy = text;
                canonical = s_.formatter.FormatKanonical(copy);
            }))
            continue;
        bool changed = false;
        if (!attempt([&] { changed = NumberChanged(text, canonical); }) || !changed)
            continue;
        const QString oldValue = text;
        // A value that did not reach the field is neither logged nor counted.
        if (!attempt([&] { field->SetValue(canonical); }))
            continue;
        const QString fieldName = field->Name();
        if (state.newRecord && attempt([&] {
                const QString label = s_.itemLabel(table);
                const QString id =
                    state.idField ? valueText(state.idField->Value()) : table.RecordId();
                s_.log.recordHeader(label, id);
            }))
            state.newRecord = false;
        if (!attempt([&] { s_.log.changeLine(fieldName, oldValue, canonical); }))
            unlogged = true;
        notes_ << u"Field "_s + fieldName + u": "_s + oldValue;
        ++result_.converted;
        dirty = true;
    }
    if (dirty) {
        if (unlogged) {
            // A change without its log line is never stored: the cursor drops the buffer.
            result_.converted -= static_cast<qint32>(notes_.size());
        } else if (!attempt([&] { table.Update(kCursorOption); }) &&
                   lastError_ != kConditionViolated) {
            // Not stored, so not converted.
            result_.converted -= static_cast<qint32>(notes_.size());
        }
    }
    // A cursor that cannot move would visit this record for ever.
    if (!attempt([&] { table.Skip(1, kCursorOption); }))
        return false;
    state.newRecord = true;
    attempt([&] { addChecked(result_.processed, 1); });
    if (result_.processed % step_ == 0 || result_.processed == result_.total)
        reportProgress(state.name);
    return true;
}

void ConversionRun::reportProgress(const QString& tableName) {
    attempt([&] {
        s_.progress.setStatus(FormatString(LoadResourceString(IDS_RUN_PROGRESS),
                                           {tableName, result_.processed, result_.total}));
    });
    attempt([&] {
        s_.progress.setProgressValue(std::min(result_.processed, result_.total));
        s_.progress.repaintProgress();
    });
    if (attempt([&] { transaction_->Commit(); }))
        convertedCommitted_ = result_.converted;
    attempt([&] { s_.progress.repaintWindow(); });
    attempt([&] { transaction_->Begin(0); });
}

void ConversionRun::finish() {
    attempt([&] {
        if (transaction_)
            transaction_->Commit();
    });
    s_.formatter.release();
    attempt([&] {
        s_.progress.setStatus(QString());
        s_.progress.setProgressValue(0);
        s_.progress.repaintProgress();
    });
    if (busy_) {
        s_.progress.setBusy(false);
        busy_ = false;
    }
    attempt([&] { s_.log.runSummary(result_.converted); });
    attempt([&] {
        const MsgAnswer answer = s_.boxes.yesNo(
            QString::number(result_.converted) + LoadResourceString(IDS_RUN_CONVERTED) + u"\r\n"_s +
                LoadResourceString(IDS_RUN_ASK_SHOW_LOG),
            AppTitle(), MsgIcon::Information, MsgAnswer::Yes);
        if (answer == MsgAnswer::Yes)
            s_.openViewer(s_.log.path());
    });
}

RunResult ConversionRun::run() {
    result_ = RunResult{};
    s_.progress.setBusy(true);
    busy_ = true;
    if (!prepareLog())
        return result_;
    result_.started = true;
    try {
        countRecords();
        attempt([&] {
            transaction_ = s_.database->GetTransaction(0);
            transaction_->Begin(0);
        });
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
        finish();
    } catch (const Stop&) {
        // The user stopped the run; the open batch is committed or rolled back.
    }
    // An error after the pointer was restored may have set the hourglass again.
    if (busy_) {
        s_.progress.setBusy(false);
        busy_ = false;
    }
    transaction_.reset();
    return result_;
}
