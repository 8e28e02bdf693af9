#pragma once

#include "MessageBoxes.h"

#include <memory>

class QMessageBox;
class QWidget;

// Message boxes on the desktop.
class QtMessageBoxes : public MessageBoxes {
public:
    explicit QtMessageBoxes(QWidget* parent = nullptr)
        : parent_(parent) {}
    MsgAnswer show(const MessageBoxRequest& request) override;

    // The box show() would open, not yet shown.
    static std::unique_ptr<QMessageBox> build(const MessageBoxRequest& request, QWidget* parent);

private:
    QWidget* parent_;
};
