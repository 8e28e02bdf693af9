#include "TelnormerBatch.h"

#include "AppTitle.h"
#include "BatchCommandLine.h"
#include "BatchMessageBoxes.h"
#include "BatchReport.h"
#include "ChangeLog.h"
#include "ChosenFields.h"
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

const QString kHelp =
    u"Usage: telnormer-batch FILE.vdb --user NAME [OPTION]...\n"
    "  or:  telnormer-batch FILE.vdb --user NAME --undo JOURNAL.jsonl [--dry-run]\n"
    "\n"
    "Rewrites the telephone numbers of a .vdb database into canonical form\n"
    "(\"+49 (30) 1234567\") as the Start button of Telnormer does: record by record,\n"
    "committed in batches of ten, every change written to a change log in the folder\n"
    "Logs/Telnormer beside the database.\n"
    "\n"
    "Fields to convert (--field and --prefix exclude each other):\n"
    "  --field TABLE FIELD  this field; repeat the option for more. Exact, case-sensitive\n"
    "                       names; the fields of a table are converted in the given order,\n"
    "                       the tables in the database's order.\n"
    "  --prefix P           every field of every table whose name starts with P, ignoring\n"
    "                       case, in the database's order.\n"
    "  (neither)            the prefix Telnormer remembers from its last automatic choice\n"
    "                       (\"Telef\" when it remembers none).\n"
    "\n"
    "Options:\n"
    "  --user NAME          log in as this user (required).\n"
    "  --password-file FILE\n"
    "                       read the password from the first line of FILE.\n"
    "  --only-marked        convert only the marked records.\n"
    "  --dry-run            a preview: visit, format and log as a run would, store\n"
    "                       nothing (the log's name ends in \"_preview\").\n"
    "  --report FILE.csv    list the values left out of canonical form: table, record\n"
    "                       key, record label, field, value, reason (why it could not\n"
    "                       be read, \"refused-by-condition: CONDITION\" or\n"
    "                       \"layout-only: CANONICAL FORM\"), country (with\n"
    "                       --country-field: the one a record was read in, if not\n"
    "                       the location's).\n"
    "                       Replaced only when the run has ended; a cell that begins\n"
    "                       with = + - @ gets a leading ' (shown as text).\n"
    "  --undo JOURNAL.jsonl\n"
    "                       put back the values a run changed, from the journal it wrote\n"
    "                       beside its log (same name, \".jsonl\"). A value changed\n"
    "                       since is left as it is and listed as a conflict in the log.\n"
    "                       The undo writes a log and a journal of its own.\n"
    "  --on-error POLICY    the answer to the questions the run asks after an error:\n"
    "                       \"continue\" goes on with the next value; \"stop\" (the\n"
    "                       default) stops and keeps the open batch; \"rollback\" stops\n"
    "                       and undoes the open batch (up to ten records).\n"
    "  --uniform            also rewrite values whose canonical form differs only in\n"
    "                       blanks and brackets (\"+49 211 961814\" becomes\n"
    "                       \"+49 (211) 961814\"); by default they stay as they are.\n"
    "  --threads N          format on N threads (default: one per core); 1 formats on\n"
    "                       the run's own thread only. The result is the same.\n"
    "  --country-field TABLE FIELD\n"
    "                       FIELD names the country of each record of TABLE (ISO code,\n"
    "                       or the name in German or English): its national numbers are\n"
    "                       read there, completed with the area code only at home. Empty\n"
    "                       means the database's location; an unknown country leaves\n"
    "                       the numbers unchanged. One field a table; repeat for more.\n"
    "  -h, --help           show this help.\n"
    "  --version            show the version.\n"
    "\n"
    "The password comes from --password-file, else the environment variable VDB_PASSWORD,\n"
    "else a line of standard input (asked for without echo on a terminal); never from the\n"
    "command line.\n"
    "\n"
    "Standard error shows a progress bar when it is a terminal, and every error and question\n"
    "of the run with the answer given. At the end standard output gets the summary line\n"
    "(\"N record(s) converted.\") and the path of the change log; a stopped run prints only\n"
    "the path.\n"
    "\n"
    "Exit status:\n"
    "  0  the run went through to its end (values passed over by --on-error continue\n"
    "     included)\n"
    "  1  the run was stopped after an error, a batch could not be committed, an undo\n"
    "     could not put back every entry, the report could not be written, or another\n"
    "     failure\n"
    "  2  wrong arguments, or --field names a table the database does not have\n"
    "  3  no password, or the database did not open (file, user or password)\n"
    "  4  the change log could not be prepared: nothing was changed\n"
    "\n"
    "Environment:\n"
    "  VDB_PASSWORD  the password, when --password-file is not given.\n"
    "  PGPASSWORD    not used: on a postgresql:// database the login's password goes to\n"
    "                the server; PGHOST, PGPORT and libpq's other variables fill in\n"
    "                what the URI leaves out.\n"
    "\n"
    "Files:\n"
    "  DIR/Logs/Telnormer/NAME_YYYY-MM-DD HH-MM-SS.txt\n"
    "                       the change log of a run on DIR/NAME.vdb (\"_preview.txt\"\n"
    "                       for --dry-run); a server database's logs go to\n"
    "                       ~/.local/share/Veltrano Telnormer/Logs/Telnormer/DBNAME/.\n"
    "  the same name ending in .jsonl\n"
    "                       the run's journal: every stored change, for --undo.\n"
    "  ~/.config/Veltrano Telnormer.ini\n"
    "                       the settings shared with Telnormer (the remembered prefix);\n"
    "                       $XDG_CONFIG_HOME in place of ~/.config when it is set.\n"
    "\n"
    "Examples:\n"
    "  $ VDB_PASSWORD=admin telnormer-batch demo.vdb --user ADMIN --dry-run\n"
    "  $ telnormer-batch demo.vdb --user ADMIN --field Kunden Telefon < pw.txt\n"
    "  $ telnormer-batch demo.vdb --user ADMIN --undo Logs/Telnormer/RUN.jsonl\n"
    "  $ telnormer-batch --user ADMIN --password-file pw.txt -- -odd-name.vdb\n"_s;

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

QList<FieldPair> fieldsWithPrefix(Database& database, const QString& prefix) {
    QList<FieldPair> chosen;
    for (const TablePtr& table : database.Tables()) {
        const QString tableName = table->Name();
        for (const FieldPtr& field : table->Fields()) {
            const QString name = field->Name();
            if (prefixMatches(name, prefix))
                chosen << FieldPair{tableName, name};
        }
    }
    return chosen;
}

// A missing field is left to the run, which asks what to do; a missing table the run would
// pass over without a word.
void checkTables(Database& database, const QList<FieldPair>& fields) {
    QStringList tables;
    for (const TablePtr& table : database.Tables())
        tables << table->Name();
    for (const FieldPair& pair : fields) {
        if (!tables.contains(pair.table))
            usageFail(u"the database has no table \""_s + ChangeLog::visible(pair.table) + u'"');
    }
}

// Per table the field that names the record's country; a field the table lacks, or one the run
// converts, is a usage error, as a table the database lacks is.
QHash<QString, QString> countryFields(Database& database, const QList<FieldPair>& pairs,
                                      const QList<FieldPair>& chosen) {
    QHash<QString, QString> fields;
    if (pairs.isEmpty())
        return fields;
    checkTables(database, pairs);
    for (const TablePtr& table : database.Tables()) {
        const QString name = table->Name();
        for (const FieldPair& pair : pairs) {
            if (pair.table != name)
                continue;
            bool found = false;
            for (const FieldPtr& field : table->Fields())
                found = found || field->Name() == pair.field;
            if (!found)
                usageFail(u"the table \""_s + name + u"\" has no field \""_s + pair.field + u'"');
            if (chosen.contains(pair))
                usageFail(u"the field \""_s + pair.field + u"\" of the table \""_s + name +
                          u"\" cannot name the country and be converted"_s);
            fields.insert(name, pair.field);
        }
    }
    return fields;
}

QList<FieldPair> chooseFields(Database& database, const BatchCommandLine& commandLine,
                              const BatchEnvironment& environment, ToolIo& io) {
    if (!commandLine.fields().isEmpty()) {
        checkTables(database, commandLine.fields());
        return commandLine.fields();
    }
    const QString prefix =
        commandLine.prefix()
            ? *commandLine.prefix()
            : environment.settings.GetSetting(AppTitle(), SettingKey::section(),
                                              SettingKey::fieldSearchPrefix(),
                                              SettingKey::defaultFieldSearchPrefix());
    QList<FieldPair> chosen = fieldsWithPrefix(database, prefix);
    if (chosen.isEmpty())
        io.err << kProgram << "no field name starts with \"" << prefix
               << "\": nothing to convert\n";
    return chosen;
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
                                u"Password for "_s + commandLine.user() + u": "_s);
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
        io.err << kProgram << "cannot open " << uriWithoutPassword(commandLine.file()) << ": "
               << ShownErrorText(e) << '\n';
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
            undo->read(*commandLine.undo(), &trusted);
        } catch (const ErrorRecord& e) {
            io.err << kProgram << e.description() << '\n';
            outcome.status = BatchStatus::Stopped;
            return;
        }
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
        const char* batch = result.rolledBack         ? "the open batch was rolled back"
                            : boxes.failedAfterStop() ? "closing the open batch failed (see above)"
                                                      : "the values converted so far are kept";
        io.err << kProgram
               << (interruptSeen.load() ? "stopped on request; " : "stopped after an error; ")
               << batch << '\n';
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
        io.err << kProgram << result.batchesUndone
               << " batch(es) could not be committed; their values were not stored (see the log)\n";
    if (result.unplaced > 0)
        io.err << kProgram << result.unplaced
               << " journal entry(ies) could not be put back (listed in the log)\n";
    outcome.status = !reported || result.batchesUndone > 0 || result.unplaced > 0
                         ? BatchStatus::Stopped
                         : BatchStatus::Done;
}

} // namespace

BatchOutcome executeTelnormerBatch(const QStringList& args, ToolIo& io,
                                   const BatchEnvironment& environment) {
    BatchOutcome outcome;
    try {
        const BatchCommandLine commandLine(args);
        if (commandLine.helpRequested() || commandLine.versionRequested()) {
            io.out << (commandLine.helpRequested() ? kHelp : versionText(u"telnormer-batch"_s));
            outcome.status = BatchStatus::Done;
        } else if (const QString refusal = commandLineUriRefusal(commandLine.file());
                   !refusal.isEmpty()) {
            throw ToolError(refusal, ExitStatus::Usage);
        } else {
            convert(commandLine, io, environment, outcome);
        }
    } catch (const ToolError& e) {
        io.err << kProgram << e.message() << '\n';
        if (e.status() == ExitStatus::Usage)
            io.err << "Try 'telnormer-batch --help'.\n";
        outcome.status =
            e.status() == ExitStatus::Usage ? BatchStatus::Usage : BatchStatus::Stopped;
    } catch (const ErrorRecord& e) {
        io.err << kProgram << ErrorText(e) << '\n';
        outcome.status = BatchStatus::Stopped;
    } catch (const std::bad_alloc&) {
        io.err << kProgram << "out of memory\n";
        outcome.status = BatchStatus::Stopped;
    }
    io.out.flush();
    io.err.flush();
    return outcome;
}
