// telnormer-batch: the conversion run of Telnormer without a window.
#include "TelnormerBatch.h"

#include <QCoreApplication>

#include <cstdio>

#include <sys/ioctl.h>
#include <unistd.h>

namespace {

int terminalColumns() {
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
}

} // namespace

int main(int argc, char** argv) {
    const QCoreApplication app(argc, argv);
    // The same data folder as the window's: a server database's change logs go there.
    QCoreApplication::setApplicationName(QStringLiteral("Veltrano Telnormer"));
    QTextStream in(stdin);
    QTextStream out(stdout);
    QTextStream err(stderr);
    ToolIo io{in, out, err};
    BatchEnvironment environment;
    environment.terminal = ::isatty(STDERR_FILENO) == 1;
    environment.columns = terminalColumns();
    return runTelnormerBatch(QCoreApplication::arguments().mid(1), io, environment);
}
