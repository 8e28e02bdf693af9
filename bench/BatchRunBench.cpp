// The batch run on the demo database with its three telephone fields per table: with one
// formatting thread and with one per core, a second run over the converted data, and the naive
// lower bound (one SQL UPDATE per field through an SQLite function that calls libphonenumber
// directly). Prints values per second (values: chosen field values read), the ratios, the CPU
// time of the process and of the run's own thread, formatting's share of a one-thread run, and
// the peak memory of the runs, and the runs again with the customers' country field "Land"
// (a fifth of them abroad) against the same runs without. Each size runs with the demo's repeats
// and with every value
// unique. Other jobs on the machine take cores away from the extra threads: the CPU figures say
// what an idle machine would allow.
//
//   batch_run_bench [records per table...] [--folder DIR]     (default 100000 1000000)
//
// The demo files are made once per record count in a child process and kept in the folder as
// batch_run_bench-N[-unique].vdb; every measurement works on a fresh copy.

#include "BenchSupport.h"
#include "ComponentFactory.h"
#include "DemoGenerator.h"
#include "FormatPool.h"
#include "NumberFormatting.h"
#include "Sqlite.h"
#include "StringTable.h"
#include "TelnormerBatch.h"
#include "VdbServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <phonenumbers/phonenumberutil.h>
#include <sqlite3.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

const QList<DemoPhoneFields> kChosen = demoPhoneFields();

bool makeDemo(const QString& path, qint64 records, bool unique) {
    if (QFileInfo::exists(path)) {
        std::printf("demo data: reusing %s\n", qPrintable(path));
        return true;
    }
    std::fflush(stdout);
    const pid_t child = fork();
    if (child == 0) {
        Stopwatch watch;
        try {
            createDemoDatabase(path, DemoOptions{records, 1, unique});
        } catch (...) {
            _exit(1);
        }
        std::printf("demo data: %lld records per table made in %.1f s\n",
                    static_cast<long long>(records), watch.seconds());
        std::fflush(stdout);
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

QString freshCopy(const QString& demo, const QString& folder) {
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    const QString copy = folder + u"/demo.vdb"_s;
    if (!QFile::copy(demo, copy)) {
        std::printf("ERROR: cannot copy %s\n", qPrintable(demo));
        std::exit(1);
    }
    return copy;
}

struct Measured {
    double seconds = 0;
    double cpu = 0;    // CPU seconds of the process meanwhile, every thread's
    double runCpu = 0; // CPU seconds of the run's own thread

    qint64 converted = 0;
    qint64 formatted = 0;
    qint64 remembered = 0;
    bool ok = false;
};

// threads 0: one per core. country: the customers' records are read in their "Land".
Measured batchRun(const QString& file, int threads, bool country = false) {
    QStringList args{file, u"--user"_s, u"ADMIN"_s, u"--on-error"_s, u"continue"_s};
    if (country)
        args << u"--country-field"_s << DemoTable::Customers << u"Land"_s;
    if (threads > 0)
        args << u"--threads"_s << QString::number(threads);
    for (const DemoPhoneFields& chosen : kChosen) {
        for (const QString& field : chosen.fields)
            args << u"--field"_s << chosen.table << field;
    }
    QString none;
    QString out;
    QString err;
    QTextStream in(&none, QIODevice::ReadOnly);
    QTextStream outStream(&out, QIODevice::WriteOnly);
    QTextStream errStream(&err, QIODevice::WriteOnly);
    ToolIo io{in, outStream, errStream};
    const double cpuBefore = cpuSeconds();
    const double runCpuBefore = threadCpuSeconds();
    Stopwatch watch;
    const BatchOutcome outcome = executeTelnormerBatch(args, io);
    Measured measured;
    measured.seconds = watch.seconds();
    measured.cpu = cpuSeconds() - cpuBefore;
    measured.runCpu = threadCpuSeconds() - runCpuBefore;
    measured.ok = outcome.status == BatchStatus::Done;
    measured.converted = outcome.run ? outcome.run->converted : -1;
    measured.formatted = outcome.run ? outcome.run->formatted : -1;
    measured.remembered = outcome.run ? outcome.run->remembered : -1;
    if (!measured.ok)
        std::printf("ERROR: the run ended with status %d: %s\n", outcome.status, qPrintable(err));
    return measured;
}

// canon(value): the value parsed for region DE and formatted INTERNATIONAL, or the value itself
// when it does not parse; Null stays Null.
void canon(sqlite3_context* context, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_null(context);
        return;
    }
    using i18n::phonenumbers::PhoneNumber;
    using i18n::phonenumbers::PhoneNumberUtil;
    static const PhoneNumberUtil& util = *PhoneNumberUtil::GetInstance();
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
    const std::string input(text, static_cast<size_t>(sqlite3_value_bytes(argv[0])));
    PhoneNumber number;
    if (util.Parse(input, "DE", &number) != PhoneNumberUtil::NO_PARSING_ERROR) {
        sqlite3_result_value(context, argv[0]);
        return;
    }
    std::string formatted;
    util.Format(number, PhoneNumberUtil::INTERNATIONAL, &formatted);
    sqlite3_result_text(context, formatted.data(), static_cast<int>(formatted.size()),
                        SQLITE_TRANSIENT);
}

Measured naiveBound(const QString& file) {
    Measured measured;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(file).constData(), &db, SQLITE_OPEN_READWRITE, nullptr) !=
        SQLITE_OK) {
        std::printf("ERROR: %s\n", sqlite3_errmsg(db));
        return measured;
    }
    sqlite3_exec(db, "PRAGMA synchronous = NORMAL", nullptr, nullptr, nullptr);
    sqlite3_create_function(db, "canon", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, canon,
                            nullptr, nullptr);
    Stopwatch watch;
    measured.ok = true;
    for (const DemoPhoneFields& chosen : kChosen) {
        for (const QString& field : chosen.fields) {
            // OR IGNORE: a value that breaks its field's condition stays as it was.
            const QByteArray sql =
                QString(u"UPDATE OR IGNORE "_s + quoteIdentifier(chosen.table) + u" SET "_s +
                        quoteIdentifier(field) + u" = canon("_s + quoteIdentifier(field) + u')')
                    .toUtf8();
            char* error = nullptr;
            if (sqlite3_exec(db, sql.constData(), nullptr, nullptr, &error) != SQLITE_OK) {
                std::printf("ERROR: %s: %s\n", sql.constData(), error);
                sqlite3_free(error);
                measured.ok = false;
            }
            measured.converted += sqlite3_changes(db);
        }
    }
    measured.seconds = watch.seconds();
    sqlite3_close(db);
    return measured;
}

// The chosen field values a run reads: every chosen field of every visited record.
qint64 valuesOf(const QString& file) {
    const DatabasePtr db = VdbServer().OpenDatabase(file, u"ADMIN"_s, u"admin"_s, 0);
    qint64 values = 0;
    for (const DemoPhoneFields& chosen : kChosen)
        values += qint64(db->Tables()->Item(chosen.table)->RecordCount()) * chosen.fields.size();
    return values;
}

// The texts the run formats, read straight from the file.
QStringList textsOf(const QString& file) {
    QStringList texts;
    SqliteConnection db;
    if (db.open(file, SQLITE_OPEN_READONLY) != SQLITE_OK)
        return texts;
    for (const DemoPhoneFields& chosen : kChosen) {
        for (const QString& field : chosen.fields) {
            const auto select = db.prepare(u"SELECT "_s + quoteIdentifier(field) + u" FROM "_s +
                                           quoteIdentifier(chosen.table));
            while (select->step()) {
                const QString text = select->text(0);
                if (!text.isEmpty() && !NumberCannotChange(text))
                    texts << text;
            }
        }
    }
    return texts;
}

// Formatting alone, no database work: every text once, on one thread. Its CPU seconds.
double formatOnly(const QString& file, const QStringList& texts, int threads) {
    DatabasePtr database = VdbServer().OpenDatabase(file, u"ADMIN"_s, u"admin"_s, 0);
    KanonicalFormatter formatter(ComponentFactory::withDefaults(), database);
    QString first = u"030 1234567"_s;
    formatter.format(first);
    std::vector<std::unique_ptr<KanonicalFormatter>> copies;
    for (int i = 0; i < threads; ++i)
        copies.push_back(formatter.copyForThread());
    const double cpuBefore = cpuSeconds();
    std::vector<std::thread> workers;
    for (int i = 0; i < threads; ++i) {
        workers.emplace_back([&, i] {
            for (qsizetype k = i; k < texts.size(); k += threads) {
                QString copy = texts[k];
                try {
                    copies[static_cast<size_t>(i)]->format(copy);
                } catch (...) {
                    // Counted like any other text: the time is what matters here.
                }
            }
        });
    }
    for (std::thread& worker : workers)
        worker.join();
    return cpuSeconds() - cpuBefore;
}

// formatOnly in a child process, so that its texts do not count in the runs' peak memory.
double formatOnlyApart(const QString& file, const QString& demo) {
    int fds[2];
    if (pipe(fds) != 0)
        return -1;
    std::fflush(stdout);
    const pid_t child = fork();
    if (child == 0) {
        const double seconds = formatOnly(file, textsOf(demo), 1);
        const bool written = ::write(fds[1], &seconds, sizeof seconds) == sizeof seconds;
        _exit(written ? 0 : 1);
    }
    close(fds[1]);
    double seconds = -1;
    if (::read(fds[0], &seconds, sizeof seconds) != sizeof seconds)
        seconds = -1;
    close(fds[0]);
    waitpid(child, nullptr, 0);
    return seconds;
}

bool measure(const QString& folder, qint64 records, bool unique) {
    const QString demo = folder + u"/batch_run_bench-"_s + QString::number(records) +
                         (unique ? u"-unique"_s : QString()) + u".vdb"_s;
    if (!makeDemo(demo, records, unique)) {
        std::printf("ERROR: no demo data\n");
        return false;
    }
    std::printf("\n== %lld records per table, %s\n", static_cast<long long>(records),
                unique ? "every value unique" : "the demo's repeats");
    const QString oneFile = freshCopy(demo, folder + u"/batch_run_bench-one"_s);
    const qint64 values = valuesOf(oneFile);
    double load[3] = {};
    getloadavg(load, 3);
    std::printf("load average before: %.2f (figures are comparable within one block only; with "
                "the cores busy elsewhere, extra threads get no extra time)\n",
                load[0]);
    const Measured one = batchRun(oneFile, 1);
    auto line = [&](const char* what, const Measured& m) {
        std::printf("%-18s %8.2f s  %10.0f values/s  cpu %6.2f s (%.2f cores)  %lld converted, "
                    "%lld formatted, %lld remembered\n",
                    what, m.seconds, double(values) / m.seconds, m.cpu, m.cpu / m.seconds,
                    static_cast<long long>(m.converted), static_cast<long long>(m.formatted),
                    static_cast<long long>(m.remembered));
    };
    line("run, 1 thread:", one);
    const QString allFile = freshCopy(demo, folder + u"/batch_run_bench-all"_s);
    const Measured all = batchRun(allFile, 0);
    line(qPrintable(u"run, %1 threads:"_s.arg(FormatPool::defaultThreads())), all);
    std::printf("all threads / 1 thread: %.2fx\n", one.seconds / all.seconds);
    // The customers' country field against none: the machine's other jobs move a single run by a
    // quarter, so three alternating one-thread pairs and their medians.
    const QString landFolder = folder + u"/batch_run_bench-land"_s;
    Measured oneLand;
    QList<double> seconds[2] = {{one.seconds}, {}};
    QList<double> cpu[2] = {{one.cpu}, {}};
    for (int i = 0; i < 3; ++i) {
        oneLand = batchRun(freshCopy(demo, landFolder), 1, true);
        seconds[1] << oneLand.seconds;
        cpu[1] << oneLand.cpu;
        line("Land, 1 thread:", oneLand);
        if (i == 2)
            break;
        const Measured again = batchRun(freshCopy(demo, landFolder), 1);
        seconds[0] << again.seconds;
        cpu[0] << again.cpu;
        line("again, 1 thread:", again);
    }
    const auto median = [](QList<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    std::printf("with the country field / without, 1 thread, medians of 3: %.2f s / %.2f s "
                "(%+.1f%%), CPU %.2f s / %.2f s (%+.1f%%)\n",
                median(seconds[1]), median(seconds[0]),
                100.0 * (median(seconds[1]) / median(seconds[0]) - 1), median(cpu[1]),
                median(cpu[0]), 100.0 * (median(cpu[1]) / median(cpu[0]) - 1));
    const Measured allLand = batchRun(freshCopy(demo, landFolder), 0, true);
    line("Land, all threads:", allLand);
    std::printf("with the country field / without, all threads, one run each: %+.1f%%\n",
                100.0 * (allLand.seconds / all.seconds - 1));
    std::printf("peak memory of the runs so far: %.1f MiB\n", peakMemoryMiB());
    std::fflush(stdout);
    const Measured second = batchRun(allFile, 0);
    line("second run:", second);
    std::printf("second run / first run (all threads): %.1fx faster\n",
                all.seconds / second.seconds);
    const QString naiveFile = freshCopy(demo, folder + u"/batch_run_bench-naive"_s);
    const Measured naive = naiveBound(naiveFile);
    std::printf("naive UPDATE:      %8.2f s  %10.0f values/s  (%lld rows written)\n", naive.seconds,
                double(values) / naive.seconds, static_cast<long long>(naive.converted));
    std::printf("run (all threads) / naive bound: %.2f\n", naive.seconds / all.seconds);
    // What bounds the run on an idle machine: its own thread, which does all the database work,
    // and the CPU time of all threads shared out over the cores.
    const double formatting = formatOnlyApart(oneFile, demo);
    const int cores = FormatPool::defaultThreads();
    std::printf("CPU split of the 1-thread run: formatting alone %.2f s of %.2f s (%.0f%%); the "
                "rest (database, log, journal) %.2f s\n",
                formatting, one.cpu, 100.0 * formatting / one.cpu, one.cpu - formatting);
    std::printf("run thread of the %d-thread run: %.2f s of %.2f s CPU; on %d idle cores it could "
                "not beat %.2f s, %.2fx the 1-thread run's CPU time\n",
                cores, all.runCpu, all.cpu, cores, std::max(all.runCpu, all.cpu / cores),
                one.cpu / std::max(all.runCpu, all.cpu / cores));
    std::fflush(stdout);
    for (const char* name : {"one", "all", "naive", "land"})
        QDir(folder + u"/batch_run_bench-"_s + QString::fromLatin1(name)).removeRecursively();
    return one.ok && all.ok && oneLand.ok && allLand.ok && second.ok && naive.ok &&
           second.converted == 0 && oneLand.converted == allLand.converted &&
           one.converted == all.converted;
}

} // namespace

// batch_run_bench [records per table...] [--folder DIR]: every size with the demo's repeats and
// with every value unique (default sizes 100000 and 1000000).
int main(int argc, char** argv) {
    QList<qint64> sizes;
    QString folder = QDir::tempPath();
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--folder" && i + 1 < argc)
            folder = QString::fromLocal8Bit(argv[++i]);
        else
            sizes << std::atoll(argv[i]);
    }
    if (sizes.isEmpty())
        sizes = {100000, 1000000};
    QCoreApplication app(argc, argv);
    setUiLanguageOverride(UiLanguage::English);
    qputenv("VDB_PASSWORD", "admin");
    bool ok = true;
    for (const qint64 records : sizes) {
        for (const bool unique : {false, true})
            ok = measure(folder, records, unique) && ok;
    }
    return ok ? 0 : 1;
}
