#include "OutcomeChart.h"

#include <QLocale>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

OutcomeChart::OutcomeChart(QWidget* parent)
    : QWidget(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void OutcomeChart::setBars(QList<Bar> bars) {
    bars_ = std::move(bars);
    updateGeometry();
    update();
}

int OutcomeChart::lineHeight() const {
    return fontMetrics().height() + 6;
}

QSize OutcomeChart::sizeHint() const {
    return {420, static_cast<int>(std::max<qsizetype>(bars_.size(), 1)) * lineHeight() + 4};
}

void OutcomeChart::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QFontMetrics metrics = fontMetrics();
    int labelWidth = 0;
    int countWidth = 0;
    qint64 most = 1;
    const QLocale locale;
    for (const Bar& bar : std::as_const(bars_)) {
        labelWidth = std::max(labelWidth, metrics.horizontalAdvance(bar.label));
        countWidth = std::max(countWidth, metrics.horizontalAdvance(locale.toString(bar.count)));
        most = std::max(most, bar.count);
    }
    labelWidth = std::min(labelWidth, width() / 2);
    const int barLeft = labelWidth + 14;
    const int barSpace = std::max(width() - barLeft - countWidth - 12, 10);
    int y = 2;
    for (const Bar& bar : std::as_const(bars_)) {
        const int h = lineHeight();
        painter.setPen(palette().color(QPalette::WindowText));
        // A pixel to spare: the advance is rounded, the elision is not.
        painter.drawText(QRect(4, y, labelWidth + 2, h), Qt::AlignVCenter | Qt::AlignRight,
                         metrics.elidedText(bar.label, Qt::ElideRight, labelWidth + 2));
        // A count above nought always shows, however small beside the largest.
        const int length = bar.count == 0
                               ? 0
                               : std::max(2, static_cast<int>(double(bar.count) / double(most) *
                                                              double(barSpace)));
        painter.fillRect(QRect(barLeft, y + 3, length, h - 6), bar.color);
        painter.drawText(QRect(barLeft + length + 6, y, countWidth + 6, h), Qt::AlignVCenter,
                         locale.toString(bar.count));
        y += h;
    }
}

void OutcomeChart::mouseReleaseEvent(QMouseEvent* event) {
    const int line = static_cast<int>(event->position().y() - 2) / lineHeight();
    if (event->button() == Qt::LeftButton && line >= 0 && line < bars_.size())
        Q_EMIT barClicked(bars_[line].reasons);
}
