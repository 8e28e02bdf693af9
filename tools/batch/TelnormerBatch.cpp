#include "TelnormerBatch.h"

#include "AppTitle.h"
#include "BatchCommandLine.h"
#include "BatchFields.h"
#include "BatchMessageBoxes.h"
#include "BatchReport.h"
#include "ChangeLog.h"
#include "DatabaseServer.h"
#include "DatabaseUri.h"
#include "GlobalDefs.h"
#include "IndexChoice.h"
#include "NumberFormatting.h"
#include "Passwords.h"
#include "RunFiles.h"
#include "RunJournal.h"
#include "StringTable.h"
#include "TerminalProgress.h"
#include "ToolError.h"

#include <QFileInfo>
#include <QThread>

#include <atomic>
#include <csignal>
#include <new>

using namespace Qt::StringLiterals;

namespace {

const QString kProgram = u"telnormer-batch: "_s;

// The run names its log after the second it starts: a run in the same second as the last one
// waits for the next second rather than fail on the existing file.
QDateTime logMoment(const QString& databaseFileName, bool preview,
                    const std::function<QDateTime()>& clock) {
    QDateTime now = clock();
    try {
        for (int tries = 0;
             tries < 2 && QFileInfo::exists(ChangeLog::logPathFor(databaseFileName, now, preview));
             ++tries) {
            QThread::msleep(static_cast<unsigned long>(1001 - now.time().msec()));
            now = clock();
        }
    } catch (const ErrorRecord&) {
        // A name the log cannot be made for: the run reports it when it prepares the log.
    }
    return now;
}

// Ctrl-C or TERM stops the run at its next record, as the window's Stop button does, instead of
// killing it mid-batch; a second one ends the process at once (the handler resets itself).
std::atomic<ConversionRun*> interruptibleRun{nullptr};
std::atomic<bool> interruptSeen{false};

void onInterrupt(int) {
    interruptSeen.store(true);
    if (ConversionRun* run = interruptibleRun.load())
        run->requestStop();
}

class InterruptStopsRun {
public:
    explicit InterruptStopsRun(ConversionRun& run) {
        interruptSeen.store(false);
        interruptibleRun.store(&run);
        struct sigaction action {};
        action.sa_handler = onInterrupt;
        action.sa_flags = SA_RESETHAND | SA_RESTART;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &oldInt_);
        sigaction(SIGTERM, &action, &oldTerm_);
    }
    ~InterruptStopsRun() {
        sigaction(SIGINT, &oldInt_, nullptr);
        sigaction(SIGTERM, &oldTerm_, nullptr);
        interruptibleRun.store(nullptr);
    }
    InterruptStopsRun(const InterruptStopsRun&) = delete;
    InterruptStopsRun& operator=(const InterruptStopsRun&) = delete;

private:
    struct sigaction oldInt_ {};
    struct sigaction oldTerm_ {};
};

void convert(const BatchCommandLine& commandLine, ToolIo& io, const BatchEnvironment& environment,
             BatchOutcome& outcome) {
    if (commandLine.report())
        BatchReport::checkPath(*commandLine.report(), commandLine.file());
    QString password;
    try {
        password = readPassword(commandLine.options(), io,
                                LoadResourceText(IDS_BATCH_PASSWORD_FOR, {commandLine.user()}));
    } catch (const ToolError& e) {
        io.err << kProgram << e.message() << '\n';
        outcome.status = BatchStatus::NoLogin;
        return;
    }
    DatabasePtr database;
    try {
        database = environment.openDatabase
                       ? environment.openDatabase(commandLine.file(), commandLine.user(), password)
                       : DatabaseServer().OpenDatabase(commandLine.file(), commandLine.user(),
                                                       password, OpenFlag::Converting);
    } catch (const ErrorRecord& e) {
        io.err << kProgram
               << LoadResourceText(IDS_BATCH_CANNOT_OPEN,
                                   {uriWithoutPassword(commandLine.file()), ShownErrorText(e)})
               << '\n';
        outcome.status = BatchStatus::NoLogin;
        return;
    }
    std::optional<UndoPlan> undo;
    QList<FieldPair> chosen;
    if (commandLine.undo()) {
        try {
            undo.emplace();
            // A journal someone else could have written would make the undo write their values.
            const FileModes trusted = RunFiles::modesLike(commandLine.file());
            undo->read(*commandLine.undo(), &trusted, JournalPart::number(commandLine.run()));
        } catch (const ErrorRecord& e) {
            io.err << kProgram << e.description() << '\n';
            outcome.status = BatchStatus::Stopped;
            return;
        }
        if (undo->facts().run == 0)
            usageFail(LoadResourceText(IDS_BATCH_NO_RUN,
                                       {*commandLine.undo(),
                                        QString::number(std::max<qint64>(commandLine.run(), 1)),
                                        QString::number(undo->facts().runs)}));
        // Tables and fields the database lacks are the undo's to count and list.
        for (const auto& [table, field] : undo->fields())
            chosen << FieldPair{table, field};
    } else {
        chosen = chooseFields(*database, commandLine, environment, io);
    }
    const QHash<QString, QString> countries =
        countryFields(*database, commandLine.countryFields(), chosen);
    BatchReport report;
    if (commandLine.report() &&
        !report.open(*commandLine.report(), RunFiles::modesLike(commandLine.file()))) {
        io.err << kProgram << report.error() << '\n';
        outcome.status = BatchStatus::Stopped;
        return;
    }

    TerminalProgress progress(io.err, environment.terminal, environment.columns);
    BatchMessageBoxes boxes(commandLine.onError(), io.err, [&progress] { progress.clear(); });
    QStringList names;
    for (const auto& [table, field] : std::as_const(chosen))
        names << table << field;
    boxes.quotedNames(names);
    ChangeLog log(environment.logLocale);
    KanonicalFormatter formatter(environment.phoneFactory, database);
    std::function<void(const UnreadableValue&)> toReport;
    if (report.isOpen())
        toReport = [&report](const UnreadableValue& value) {
            report.add(value);
        };
    const QDateTime moment =
        logMoment(database->FileName(), commandLine.dryRun(), environment.clock);
    RecordLabels labels(boxes);
    ConversionRun run(RunServices{database, boxes, progress, log, formatter,
                                  [moment] { return moment; },
                                  // Nobody to show the log to: its path is printed instead.
                                  [](const QString&) { return true; },
                                  [&boxes](Table& table) { return GetIndexName(table, boxes); },
                                  [&labels](Table& table) { return labels(table); }, toReport,
                                  undo ? &*undo : nullptr, commandLine.threads(), countries,
                                  commandLine.uniform()},
                      chosen, commandLine.onlyMarked(),
                      commandLine.dryRun() ? RunMode::Preview : RunMode::Convert);
    boxes.answerCancelWhen([] { return interruptSeen.load(); });
    {
        const InterruptStopsRun interruptible(run);
        outcome.run = run.run();
    }
    progress.clear();
    outcome.logPath = log.path();
    const RunResult& result = *outcome.run;
    if (!result.started) {
        outcome.status = BatchStatus::NoLog;
        return;
    }
    const bool reported = !commandLine.report() || report.commit();
    if (!reported)
        io.err << kProgram << report.error() << '\n';
    if (result.stopped) {
        const int batch = result.rolledBack         ? IDS_BATCH_ROLLED_BACK
                          : boxes.failedAfterStop() ? IDS_BATCH_CLOSE_FAILED
                                                    : IDS_BATCH_KEPT;
        io.err << kProgram
               << LoadResourceText(interruptSeen.load() ? IDS_BATCH_STOPPED_ON_REQUEST
                                                        : IDS_BATCH_STOPPED_AFTER_ERROR,
                                   {LoadResourceString(batch)})
               << '\n';
        io.out << log.path() << '\n';
        outcome.status = BatchStatus::Stopped;
        return;
    }
    QString summary = boxes.summary().value_or(
        QString(QString::number(result.converted) + LoadResourceString(IDS_RUN_CONVERTED)));
    summary.replace(u"\r\n"_s, u"\n"_s);
    io.out << summary << '\n' << log.path() << '\n';
    // A full disk is no problem of one value: the run did not do what it was asked.
    if (result.batchesUndone > 0)
        io.err << kProgram
               << LoadResourceText(IDS_BATCH_NOT_COMMITTED, {QString::number(result.batchesUndone)})
               << '\n';
    if (result.unplaced > 0)
        io.err << kProgram
               << LoadResourceText(IDS_BATCH_NOT_PUT_BACK, {QString::number(result.unplaced)})
               << '\n';
    outcome.status = !reported || result.batchesUndone > 0 || result.unplaced > 0
                         ? BatchStatus::Stopped
                         : BatchStatus::Done;
}

// Why a server address on the command line is refused (it shows a secret to every user of the
// machine), in the user interface's language; empty when it is not refused.
QString uriRefusal(const QString& uri) {
    if (commandLineUriRefusal(uri).isEmpty())
        return {};
    const auto parameters = uriParameters(uri);
    if (!parameters)
        return LoadResourceString(IDS_BATCH_URI_INVALID);
    for (const auto& [keyword, value] : *parameters) {
        if (isSecretParameter(keyword))
            return LoadResourceText(IDS_BATCH_URI_SECRET, {keyword});
    }
    return commandLineUriRefusal(uri);
}

} // namespace

BatchOutcome executeTelnormerBatch(const QStringList& args, ToolIo& io,
                                   const BatchEnvironment& environment) {
    BatchOutcome outcome;
    try {
        const BatchCommandLine commandLine(args);
        if (commandLine.helpRequested() || commandLine.versionRequested()) {
            io.out << (commandLine.helpRequested() ? LoadResourceString(IDS_BATCH_HELP)
                                                   : versionText(u"telnormer-batch"_s));
            outcome.status = BatchStatus::Done;
        } else if (const QString refusal = uriRefusal(commandLine.file()); !refusal.isEmpty()) {
            throw ToolError(refusal, ExitStatus::Usage);
        } else {
            convert(commandLine, io, environment, outcome);
        }
    } catch (const ToolError& e) {
        io.err << kProgram << e.message() << '\n';
        if (e.status() == ExitStatus::Usage)
            io.err << LoadResourceString(IDS_BATCH_TRY_HELP) << '\n';
        outcome.status =
            e.status() == ExitStatus::Usage ? BatchStatus::Usage : BatchStatus::Stopped;
    } catch (const ErrorRecord& e) {
        io.err << kProgram << ErrorText(e) << '\n';
        outcome.status = BatchStatus::Stopped;
    } catch (const std::bad_alloc&) {
        io.err << kProgram << LoadResourceString(IDS_BATCH_OUT_OF_MEMORY) << '\n';
        outcome.status = BatchStatus::Stopped;
    }
    io.out.flush();
    io.err.flush();
    return outcome;
}
