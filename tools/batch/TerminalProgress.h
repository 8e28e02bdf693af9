#pragma once

#include "ProgressView.h"

#include <QElapsedTimer>
#include <QString>
#include <QTextStream>

// The run's progress as one redrawn line on the error stream: a bar, the percentage and the
// status text. Draws only when the stream is a terminal; elsewhere (a log file, a pipe) it
// stays silent, so that the stream holds nothing but the messages.
class TerminalProgress : public ProgressView {
public:
    // columns: the terminal's width, to which the line is cut so that it never wraps.
    TerminalProgress(QTextStream& err, bool terminal, int columns);

    void setBusy(bool) override {}
    void setStatus(const QString& text) override;
    void setProgressMaximum(int maximum) override { maximum_ = maximum; }
    void setProgressValue(int value) override { value_ = value; }
    void repaintProgress() override;
    void repaintWindow() override {}

    // Removes the line, if one is drawn, so that other text starts on a clean line.
    void clear();

private:
    void draw();

    QTextStream& err_;
    bool terminal_;
    int columns_;
    int maximum_ = 0;
    int value_ = 0;
    QString status_;
    qsizetype drawnWidth_ = 0;
    QElapsedTimer sinceDrawn_;
};
