// The batch run on the demo database (three telephone fields per table) on a local PostgreSQL
// server (Unix socket) against the same run on a .vdb file. Each run happens in a child process
// of its own, so that each peak memory printed is that run's. Prints values per second (values:
// chosen field values read), the ratio of the speeds, and the peak memory of each run.
//
//   server_run_bench [records per table=100000] [folder=/tmp]
//
// Then the same run over TCP: on the server directly, and through a proxy on this machine that
// delays each way by 0.5 ms (DelayProxy.h), which also counts the round trips a record costs.
//
// The servers are throwaway clusters that tests/pg/pgcluster.sh starts in the folder and removes
// at the end.

#include "BenchSupport.h"
#include "DatabaseAdmin.h"
#include "DelayProxy.h"
#include "DemoGenerator.h"
#include "PgConnection.h"
#include "StringTable.h"
#include "TelnormerBatch.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

using namespace Qt::StringLiterals;

namespace {

struct Measured {
    double seconds = 0;
    double peakMiB = 0;
    bool ok = false;
};

// Runs the conversion of every telephone field of location in a child process.
Measured runInChild(const QString& location) {
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0)
        return {};
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipeEnds[0]);
        QStringList args{location, u"--user"_s, u"ADMIN"_s, u"--on-error"_s, u"continue"_s};
        for (const DemoPhoneFields& chosen : demoPhoneFields()) {
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
        Measured measured{watch.seconds(), peakMemoryMiB(), outcome.status == BatchStatus::Done};
        if (!measured.ok)
            std::printf("ERROR: the run ended with status %d: %s\n", outcome.status,
                        qPrintable(err.left(500)));
        std::fflush(stdout);
        (void)!::write(pipeEnds[1], &measured, sizeof measured);
        ::_exit(0);
    }
    ::close(pipeEnds[1]);
    Measured measured;
    if (::read(pipeEnds[0], &measured, sizeof measured) != sizeof measured)
        measured.ok = false;
    ::close(pipeEnds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return measured;
}

int cluster(const QString& action, const QString& folder, int port = 0) {
    QStringList args{action, folder};
    if (port != 0)
        args << QString::number(port);
    return QProcess::execute(QStringLiteral(TELNORMER_PG_SCRIPT), args);
}

// The runs over TCP, each on a fresh demo database of its own.
bool overTcp(const QString& folder, qint64 records, double socketSeconds) {
    const int port = 20000 + static_cast<int>(::getpid() % 20000);
    const QString tcp = folder + u"/server_run_bench-tcp"_s;
    if (cluster(u"start"_s, tcp, port) != 0) {
        std::printf("ERROR: cannot start the PostgreSQL cluster with TCP\n");
        return false;
    }
    const QString where = u"?host=127.0.0.1&port="_s;
    int made = 0;
    auto freshDemo = [&] {
        const QString name = u"demo"_s + QString::number(++made);
        PgConnection(u"postgresql://postgres:postgres@/postgres"_s + where + QString::number(port),
                     {}, {})
            .exec(u"CREATE DATABASE "_s + name);
        createDemoDatabase(u"postgresql://postgres:postgres@/"_s + name + where +
                               QString::number(port),
                           DemoOptions{records, 1});
        return name;
    };
    bool ok = true;
    const double visited = 3.0 * double(records);
    const Measured direct =
        runInChild(u"postgresql:///"_s + freshDemo() + where + QString::number(port));
    std::printf("TCP, direct:     %8.2f s\n", direct.seconds);
    std::fflush(stdout);
    double linkSeconds = 0;
    for (const int delay : {0, 500}) {
        DelayProxy proxy(port, std::chrono::microseconds(delay));
        const Measured run =
            runInChild(u"postgresql:///"_s + freshDemo() + where + QString::number(proxy.port()));
        std::printf("TCP, proxy %3d us each way: %8.2f s, %.3f round trips a record (%ld)\n", delay,
                    run.seconds, double(proxy.roundTrips()) / visited, proxy.roundTrips());
        std::fflush(stdout);
        linkSeconds = run.seconds;
        ok = ok && run.ok;
    }
    std::printf("over the 0.5 ms link / local socket: %.2f (target 3 or less)\n",
                linkSeconds / socketSeconds);
    cluster(u"stop"_s, tcp);
    return ok && direct.ok;
}

} // namespace

int main(int argc, char** argv) {
    const qint64 records = argc > 1 ? std::atoll(argv[1]) : 100000;
    const QString folder = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QDir::tempPath();
    QCoreApplication app(argc, argv);
    setUiLanguageOverride(UiLanguage::English);
    qputenv("VDB_PASSWORD", "admin");
    qputenv("XDG_DATA_HOME", QFile::encodeName(folder + u"/server_run_bench-logs"_s));
    const qint64 values = records * 9;

    const QString file = folder + u"/server_run_bench.vdb"_s;
    QFile::remove(file);
    Stopwatch fileDemo;
    createDemoDatabase(file, DemoOptions{records, 1});
    std::printf("%lld records per table, %lld chosen values; .vdb demo made in %.1f s\n",
                static_cast<long long>(records), static_cast<long long>(values),
                fileDemo.seconds());

    const QString socket = folder + u"/server_run_bench-pg"_s;
    if (cluster(u"start"_s, socket) != 0) {
        std::printf("ERROR: cannot start the PostgreSQL cluster\n");
        return 1;
    }
    const QString superuser = u"postgresql://postgres:postgres@/"_s;
    PgConnection(superuser + u"postgres?host="_s + socket, {}, {}).exec(u"CREATE DATABASE demo"_s);
    Stopwatch serverDemo;
    createDemoDatabase(superuser + u"demo?host="_s + socket, DemoOptions{records, 1});
    std::printf("server demo made in %.1f s\n", serverDemo.seconds());
    std::fflush(stdout);

    const Measured onFile = runInChild(file);
    std::printf(".vdb run:        %8.2f s  %10.0f values/s  peak memory %.1f MiB\n", onFile.seconds,
                double(values) / onFile.seconds, onFile.peakMiB);
    std::fflush(stdout);
    const Measured onServer = runInChild(u"postgresql:///demo?host="_s + socket);
    std::printf("PostgreSQL run:  %8.2f s  %10.0f values/s  peak memory %.1f MiB\n",
                onServer.seconds, double(values) / onServer.seconds, onServer.peakMiB);
    std::printf("PostgreSQL / .vdb speed: %.2f (target 0.5 or more)\n",
                onFile.seconds / onServer.seconds);
    std::fflush(stdout);
    cluster(u"stop"_s, socket);
    const bool tcpOk = overTcp(folder, records, onServer.seconds);
    QFile::remove(file);
    QDir(folder + u"/server_run_bench-logs"_s).removeRecursively();
    return onFile.ok && onServer.ok && tcpOk ? 0 : 1;
}
