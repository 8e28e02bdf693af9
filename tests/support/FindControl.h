#pragma once

#include <QWidget>

#include <stdexcept>
#include <string>

// A window's control by the object name its design gives it; a missing one fails the test.
template <typename T>
T* child(const QWidget* window, const char* name) {
    T* found = window->findChild<T*>(QString::fromLatin1(name));
    if (found == nullptr)
        throw std::runtime_error(std::string("no control named ") + name);
    return found;
}
