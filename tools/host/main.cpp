// telnormer-host FILE --user NAME [--password-file FILE]: opens the database, exports it on the
// session bus and hands it over to Telnormer; every further line on standard input hands it over
// once more. Serves until standard input closes or SIGTERM/SIGINT, then releases its object.
#include "CommandLine.h"
#include "DatabaseExporter.h"
#include "DatabaseServer.h"
#include "Passwords.h"
#include "RemoteNames.h"
#include "ToolError.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>

#include <sys/signalfd.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const char* kHelp =
    "Usage: telnormer-host FILE.vdb --user NAME [--password-file FILE]\n"
    "\n"
    "Opens a .vdb database (or a postgresql:// URI), exports it on the session bus and hands\n"
    "it over to Telnormer, which opens a main window on it; the bus starts Telnormer when it\n"
    "is not running. Every further line on standard input hands the database over once more\n"
    "(one more window). The host serves until standard input closes or it gets SIGTERM or\n"
    "SIGINT, then releases its object and exits.\n"
    "\n"
    "Options:\n"
    "  --user NAME          log in as this user (required).\n"
    "  --password-file FILE\n"
    "                       read the password from the first line of FILE.\n"
    "  -h, --help           show this help.\n"
    "  --version            show the version.\n"
    "\n"
    "The password comes from --password-file, else the environment variable VDB_PASSWORD,\n"
    "else a line of standard input; never from the command line.\n"
    "\n"
    "Exit status:\n"
    "  0  served until standard input closed or a signal came, then released\n"
    "  1  the database did not open, or a call on the bus failed (its message on\n"
    "     standard error)\n"
    "  2  wrong arguments\n"
    "\n"
    "Environment:\n"
    "  VDB_PASSWORD  the password, when --password-file is not given.\n"
    "  PGPASSWORD    not used: on a postgresql:// database the login's password goes to\n"
    "                the server; PGHOST, PGPORT and libpq's other variables fill in\n"
    "                what the URI leaves out.\n"
    "  DBUS_SESSION_BUS_ADDRESS\n"
    "                the session bus the database is exported on.\n"
    "  XDG_RUNTIME_DIR\n"
    "                where the private socket Telnormer calls directly is made, in a\n"
    "                folder of its own only this user may enter (else the temporary\n"
    "                folder).\n"
    "\n"
    "Files:\n"
    "  /usr/share/dbus-1/services/com.veltrano.Telnormer.service\n"
    "                       how the bus starts Telnormer on the host's first call.\n"
    "  DIR/Logs/Telnormer/  the change logs and journals of runs on DIR/NAME.vdb.\n"
    "\n"
    "Examples:\n"
    "  $ VDB_PASSWORD=admin telnormer-host /tmp/demo.vdb --user ADMIN\n"
    "  $ telnormer-host /tmp/demo.vdb --user ADMIN --password-file pw.txt\n";

int report(const QString& message) {
    std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
    return 1;
}

QDBusMessage factoryCall(const QString& path, const QString& interface, const QString& member,
                         const QString& to = Remote::serviceName()) {
    return QDBusMessage::createMethodCall(to, path, interface, member);
}

// Calls without blocking: Telnormer may be calling into this process meanwhile (loading the
// window, or a run that must end before it takes the release).
QString callServing(QDBusConnection& bus, const QDBusMessage& call) {
    QDBusPendingCallWatcher watcher(bus.asyncCall(call, Remote::callTimeoutMs));
    QEventLoop loop;
    QObject::connect(&watcher, &QDBusPendingCallWatcher::finished, &loop, &QEventLoop::quit);
    if (!watcher.isFinished())
        loop.exec();
    return watcher.isError() ? watcher.error().message() : QString();
}

QString handOver(QDBusConnection& bus, const QString& telnormer, const QString& application,
                 const QString& database) {
    QDBusMessage call =
        factoryCall(application, Remote::applicationInterface(), u"UseDatabase"_s, telnormer);
    call << QVariant::fromValue(QDBusObjectPath(database));
    return callServing(bus, call);
}

} // namespace

int main(int argc, char** argv) {
    // Blocked before any thread starts, so that every thread leaves them to the signalfd.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    QCoreApplication app(argc, argv);
    QTextStream in(stdin);
    QTextStream out(stdout);
    QTextStream err(stderr);
    ToolIo io{in, out, err};
    DatabasePtr database;
    try {
        const CommandLine commandLine(
            QCoreApplication::arguments().mid(1),
            {{u"user"_s, true}, passwordFileOption(), {u"version"_s, false}});
        if (commandLine.helpRequested()) {
            std::fputs(kHelp, stdout);
            return 0;
        }
        if (commandLine.isSet(u"version"_s)) {
            std::fputs(versionText(u"telnormer-host"_s).toLocal8Bit().constData(), stdout);
            return 0;
        }
        if (commandLine.operands().isEmpty())
            usageFail(u"no database file given"_s);
        commandLine.expectOperands(1, 1);
        if (commandLine.value(u"user"_s).isEmpty())
            usageFail(u"no user given: --user NAME"_s);
        const QString password = readPassword(
            commandLine, io, u"Password for "_s + commandLine.value(u"user"_s) + u": "_s);
        database = DatabaseServer().OpenDatabase(commandLine.operands().first(),
                                                 commandLine.value(u"user"_s), password,
                                                 OpenFlag::Converting);
    } catch (const ErrorRecord& error) {
        return report(error.description());
    } catch (const ToolError& error) {
        report(u"telnormer-host: "_s + error.message());
        if (error.status() == ExitStatus::Usage)
            std::fputs("Try 'telnormer-host --help'.\n", stderr);
        return error.status();
    }

    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return report(bus.lastError().message());
    const QString databasePath = u"/com/veltrano/TelnormerHost/Database"_s;
    DatabaseExporter exporter(database);
    if (!exporter.publish(bus, databasePath))
        return report(bus.lastError().message());

    const QDBusMessage created = bus.call(
        factoryCall(Remote::factoryPath(), Remote::factoryInterface(), u"CreateApplication"_s),
        QDBus::Block, Remote::callTimeoutMs);
    if (created.type() != QDBusMessage::ReplyMessage)
        return report(created.errorMessage());
    const QString application = created.arguments().value(0).value<QDBusObjectPath>().path();
    // The process that created the object, by its unique name: the database answers only it, and
    // the name cannot pass to another program meanwhile.
    const QString telnormer = created.service();
    exporter.serveOnly(telnormer);
    const auto release = [&] {
        callServing(
            bus, factoryCall(application, Remote::applicationInterface(), u"Release"_s, telnormer));
    };
    const auto handOverOnce = [&] {
        const QString error = handOver(bus, telnormer, application, databasePath);
        if (!error.isEmpty()) {
            report(error);
            return false;
        }
        std::printf("handed over: %s\n", application.toLocal8Bit().constData());
        std::fflush(stdout);
        return true;
    };
    if (!handOverOnce()) {
        release();
        return 1;
    }

    const int signalFd = signalfd(-1, &signals, SFD_CLOEXEC);
    QSocketNotifier signalNotifier(signalFd, QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    int status = 0;
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char buffer[256];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            input.setEnabled(false);
            QCoreApplication::quit();
            return;
        }
        input.setEnabled(false);
        for (ssize_t i = 0; i < n; ++i)
            if (buffer[i] == '\n' && !handOverOnce()) {
                status = 1;
                QCoreApplication::quit();
                return;
            }
        input.setEnabled(true);
    });
    QCoreApplication::exec();
    release();
    ::close(signalFd);
    return status;
}
