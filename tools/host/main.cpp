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

const char* kUsage = "usage: telnormer-host FILE.vdb --user NAME [--password-file FILE]\n"
                     "The password comes from --password-file, VDB_PASSWORD or standard input.\n";

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
        const CommandLine commandLine(QCoreApplication::arguments().mid(1),
                                      {{u"user"_s, true}, passwordFileOption()});
        if (commandLine.helpRequested()) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        commandLine.expectOperands(1, 1);
        if (commandLine.value(u"user"_s).isEmpty()) {
            std::fputs(kUsage, stderr);
            return 2;
        }
        const QString password = readPassword(
            commandLine, io, u"Password for "_s + commandLine.value(u"user"_s) + u": "_s);
        database = DatabaseServer().OpenDatabase(
            commandLine.operands().first(), commandLine.value(u"user"_s), password, OpenFlag::None);
    } catch (const ErrorRecord& error) {
        return report(error.description());
    } catch (const ToolError& error) {
        report(error.message());
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
