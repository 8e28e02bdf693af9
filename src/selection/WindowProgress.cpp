#include "WindowProgress.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>

WindowProgress::WindowProgress(QWidget& window, QLabel& status, QProgressBar& bar)
    : window_(window)
    , status_(status)
    , bar_(bar) {}

void WindowProgress::setBusy(bool busy) {
    if (busy)
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QGuiApplication::restoreOverrideCursor();
}

void WindowProgress::setStatus(const QString& text) {
    status_.setText(text);
}

void WindowProgress::setProgressMaximum(int maximum) {
    bar_.setRange(0, std::max(maximum, 1));
}

void WindowProgress::setProgressValue(int value) {
    bar_.setValue(value);
}

void WindowProgress::repaintProgress() {
    bar_.repaint();
    QCoreApplication::processEvents();
}

void WindowProgress::repaintWindow() {
    window_.repaint();
    QCoreApplication::processEvents();
}
