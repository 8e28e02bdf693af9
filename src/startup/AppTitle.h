#pragma once

#include <QString>

// The application title: caption of the system's message boxes and the settings' application.
inline QString AppTitle() {
    return QStringLiteral("Veltrano Telnormer");
}
