#pragma once

#include <QString>

// Where a conversion run shows that it works: the busy pointer, the status line, the progress
// bar and the repaints at its progress points. The window and the batch program each have one.
class ProgressView {
public:
    virtual ~ProgressView() = default;
    // The hourglass on (true) or back to what it was (false).
    virtual void setBusy(bool busy) = 0;
    virtual void setStatus(const QString& text) = 0;
    virtual void setProgressMaximum(int maximum) = 0;
    virtual void setProgressValue(int value) = 0;
    virtual void repaintProgress() = 0;
    virtual void repaintWindow() = 0;
};
