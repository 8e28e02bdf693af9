// The batch run on the demo database with its three telephone fields per table, against the
// naive lower bound: one SQL UPDATE per field through an SQLite function that calls
// libphonenumber directly. Then a second run over the converted data. Prints values per second
// (values: chosen field values read), the ratios, and the peak memory of the run.
//
//   batch_run_bench [records per table=1000000] [folder=/tmp]
//
// The demo file is made once per record count in a child process (so that the peak memory
// printed is the run's own) and kept in the folder as batch_run_bench-N.vdb; every measurement
// works on a fresh copy of it.

#include "BenchSupport.h"
#include "DemoGenerator.h"
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

#include <cstdio>
#include <cstdlib>
#include <string>

using namespace Qt::StringLiterals;

namespace {

const QList<DemoPhoneFields> kChosen = demoPhoneFields();

bool makeDemo(const QString& path, qint64 records) {
    if (QFileInfo::exists(path)) {
        std::printf("demo data: reusing %s\n", qPrintable(path));
        return true;
    }
    std::fflush(stdout);
    const pid_t child = fork();
    if (child == 0) {
        Stopwatch watch;
        try {
            createDemoDatabase(path, DemoOptions{records, 1});
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
    qint64 converted = 0;
    bool ok = false;
};

Measured batchRun(const QString& file) {
    QStringList args{file, u"--user"_s, u"ADMIN"_s, u"--on-error"_s, u"continue"_s};
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
    Stopwatch watch;
    const BatchOutcome outcome = executeTelnormerBatch(args, io);
    Measured measured;
    measured.seconds = watch.seconds();
    measured.ok = outcome.status == BatchStatus::Done;
    measured.converted = outcome.run ? outcome.run->converted : -1;
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

} // namespace

int main(int argc, char** argv) {
    const qint64 records = argc > 1 ? std::atoll(argv[1]) : 1000000;
    const QString folder = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QDir::tempPath();
    const QString demo = folder + u"/batch_run_bench-"_s + QString::number(records) + u".vdb"_s;
    if (records <= 0 || !makeDemo(demo, records)) {
        std::printf("ERROR: no demo data\n");
        return 1;
    }
    QCoreApplication app(argc, argv);
    setUiLanguageOverride(UiLanguage::English);
    qputenv("VDB_PASSWORD", "admin");

    const QString runFile = freshCopy(demo, folder + u"/batch_run_bench-run"_s);
    const qint64 values = valuesOf(runFile);
    Stopwatch loginWatch;
    VdbServer().OpenDatabase(runFile, u"ADMIN"_s, u"admin"_s, 0);
    const double login = loginWatch.seconds();
    std::printf("%lld records per table, %lld chosen values; a login alone takes %.3f s\n",
                static_cast<long long>(records), static_cast<long long>(values), login);

    const Measured first = batchRun(runFile);
    std::printf("batch run:        %8.2f s  %10.0f values/s  (%lld values converted)\n",
                first.seconds, double(values) / first.seconds,
                static_cast<long long>(first.converted));
    std::printf("peak memory after the batch run: %.1f MiB\n", peakMemoryMiB());
    std::fflush(stdout);

    const Measured second = batchRun(runFile);
    std::printf("second run:       %8.2f s  %10.0f values/s  (%lld values converted)  "
                "%.1fx the first run's speed\n",
                second.seconds, double(values) / second.seconds,
                static_cast<long long>(second.converted), first.seconds / second.seconds);
    std::fflush(stdout);

    const QString naiveFile = freshCopy(demo, folder + u"/batch_run_bench-naive"_s);
    const Measured naive = naiveBound(naiveFile);
    std::printf("naive UPDATE:     %8.2f s  %10.0f values/s  (%lld rows written)\n", naive.seconds,
                double(values) / naive.seconds, static_cast<long long>(naive.converted));
    std::printf("batch run / naive bound: %.2f (1 or more: the run is at least as fast)\n",
                naive.seconds / first.seconds);
    std::printf("peak memory of the whole benchmark: %.1f MiB\n", peakMemoryMiB());

    QDir(folder + u"/batch_run_bench-run"_s).removeRecursively();
    QDir(folder + u"/batch_run_bench-naive"_s).removeRecursively();
    return first.ok && second.ok && naive.ok && second.converted == 0 ? 0 : 1;
}
