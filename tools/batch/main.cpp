// telnormer-batch: the conversion run of Telnormer without a window.
#include "StringTable.h"
#include "TelnormerBatch.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>

#include <sys/ioctl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

int terminalColumns() {
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
}

} // namespace

int main(int argc, char** argv) {
    // An argument the system's encoding cannot take back (an invalid UTF-8 byte) would reach
    // the program as another name: a path would open a different file.
    for (int i = 1; i < argc; ++i) {
        if (QFile::encodeName(QFile::decodeName(argv[i])) != QByteArray(argv[i])) {
            const QString text = u"telnormer-batch: "_s +
                                 LoadResourceString(IDS_BATCH_BAD_ENCODING) + u'\n' +
                                 LoadResourceString(IDS_BATCH_TRY_HELP) + u'\n';
            std::fputs(text.toLocal8Bit().constData(), stderr);
            return BatchStatus::Usage;
        }
    }
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
