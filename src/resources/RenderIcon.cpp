// Build helper: renders an SVG file as a square PNG.
//
//   telnormer-render-icon IN.svg SIZE OUT.png

#include <QImage>
#include <QPainter>
#include <QString>
#include <QSvgRenderer>

#include <cstdio>

using namespace Qt::StringLiterals;

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: telnormer-render-icon IN.svg SIZE OUT.png\n");
        return 2;
    }
    const QString in = QString::fromLocal8Bit(argv[1]);
    bool sizeOk = false;
    const int size = QString::fromLocal8Bit(argv[2]).toInt(&sizeOk);
    const QString out = QString::fromLocal8Bit(argv[3]);
    if (!sizeOk || size < 1 || size > 1024) {
        std::fprintf(stderr, "telnormer-render-icon: bad size '%s'\n", argv[2]);
        return 2;
    }
    QSvgRenderer renderer(in);
    if (!renderer.isValid()) {
        std::fprintf(stderr, "telnormer-render-icon: cannot read %s\n", argv[1]);
        return 1;
    }
    // Painted the same way as appIconPixmap(), so the installed icons match the window's.
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter);
    }
    if (!image.save(out, "PNG")) {
        std::fprintf(stderr, "telnormer-render-icon: cannot write %s\n", argv[3]);
        return 1;
    }
    return 0;
}
