#include "RunUnderWay.h"

#include "FMain.h"

#include <QCoreApplication>
#include <QEvent>

namespace {

int runsUnderWay = 0;

// What a user can start or change anything with; paints, timers and the pointer's moves pass.
bool isInput(QEvent::Type type) {
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Shortcut:
    case QEvent::ShortcutOverride:
    case QEvent::ContextMenu:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::InputMethod:
    case QEvent::Gesture:
    case QEvent::NativeGesture:
    case QEvent::Close:
        return true;
    default:
        return false;
    }
}

} // namespace

RunUnderWay::RunUnderWay(QWidget& window)
    : window_(window) {
    ++runsUnderWay;
    QCoreApplication::instance()->installEventFilter(this);
}

RunUnderWay::~RunUnderWay() {
    QCoreApplication::instance()->removeEventFilter(this);
    --runsUnderWay;
}

bool RunUnderWay::underWay() {
    return runsUnderWay > 0;
}

bool RunUnderWay::eventFilter(QObject* watched, QEvent* event) {
    if (!isInput(event->type()))
        return false;
    // Whatever belongs to another main window, its controls, boxes and shortcuts included.
    for (const QObject* object = watched; object != nullptr; object = object->parent()) {
        if (object == &window_)
            return false;
        if (qobject_cast<const FMain*>(object) != nullptr) {
            // A close left accepted would still close the window.
            event->ignore();
            return true;
        }
    }
    return false;
}
