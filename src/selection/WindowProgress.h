#pragma once

#include "ProgressView.h"

class QLabel;
class QProgressBar;
class QWidget;

// The main window as the run's progress view. At the progress points it repaints and handles
// the input that is waiting: the window leaves only its Stop button, Esc and its close box
// working during a run, so that input can only ask the run to stop.
class WindowProgress : public ProgressView {
public:
    WindowProgress(QWidget& window, QLabel& status, QProgressBar& bar);
    void setBusy(bool busy) override;
    void setStatus(const QString& text) override;
    void setProgressMaximum(int maximum) override;
    void setProgressValue(int value) override;
    void repaintProgress() override;
    void repaintWindow() override;

private:
    QWidget& window_;
    QLabel& status_;
    QProgressBar& bar_;
};
