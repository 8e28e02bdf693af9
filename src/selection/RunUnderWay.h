#pragma once

#include <QObject>

class QWidget;

// Held by a main window while its run works. The run handles waiting events at its progress
// points and in its questions, for every window of the process: meanwhile every other main
// window ignores input, so that nothing there starts a run inside this one or changes what it
// works on, and the automation entry opens no window (see underWay()).
class RunUnderWay : public QObject {
public:
    explicit RunUnderWay(QWidget& window);
    ~RunUnderWay() override;
    RunUnderWay(const RunUnderWay&) = delete;
    RunUnderWay& operator=(const RunUnderWay&) = delete;

    // Whether a run is under way in this process.
    static bool underWay();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget& window_;
};
