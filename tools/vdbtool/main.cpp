// vdbtool: the command line that creates, fills and inspects .vdb files.
#include "VdbTool.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char** argv) {
    const QCoreApplication app(argc, argv);
    QTextStream in(stdin);
    QTextStream out(stdout);
    QTextStream err(stderr);
    return runVdbTool(QCoreApplication::arguments().mid(1), in, out, err);
}
