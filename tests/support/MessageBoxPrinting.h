#pragma once

// Lets GoogleTest print message-box requests in failure messages.

#include "MessageBoxes.h"

#include <ostream>

inline void PrintTo(const MessageBoxRequest& box, std::ostream* out) {
    *out << "{text \"" << box.text.toStdString() << "\", caption \"" << box.caption.toStdString()
         << "\", icon " << static_cast<int>(box.icon) << ", buttons "
         << static_cast<int>(box.buttons) << ", default " << static_cast<int>(box.defaultButton)
         << "}";
}
