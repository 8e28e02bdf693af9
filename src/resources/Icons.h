#pragma once

#include <QIcon>
#include <QPixmap>

// The telephone-with-tools icon of the application, drawn at size x size pixels.
QPixmap appIconPixmap(int size);
// The application icon with its 16 and 48 pixel renderings.
QIcon appIcon();
// The open-folder icon of the browse button.
QIcon openFolderIcon();
