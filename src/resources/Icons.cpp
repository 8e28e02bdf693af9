#include "Icons.h"

#include <QPainter>
#include <QSvgRenderer>

using namespace Qt::StringLiterals;

namespace {

QPixmap render(const QString& resource, int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QSvgRenderer renderer(resource);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter);
    return pixmap;
}

} // namespace

QPixmap appIconPixmap(int size) {
    return render(u":/icons/telnormer.svg"_s, size);
}

QIcon appIcon() {
    QIcon icon;
    icon.addPixmap(appIconPixmap(16));
    icon.addPixmap(appIconPixmap(48));
    return icon;
}

QIcon openFolderIcon() {
    return QIcon(render(u":/icons/open-folder.svg"_s, 16));
}
