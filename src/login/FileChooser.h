#pragma once

#include <QString>

#include <functional>

class QWidget;

// Asks the user for an existing file: (parent, initial path, Qt filter) -> chosen path, or an
// empty text when the user cancels. A seam, so that tests answer without a real dialog.
using FileChooser = std::function<QString(QWidget*, const QString&, const QString&)>;

// The desktop's file-open dialog, limited to existing files.
FileChooser desktopFileChooser();

// A "description|pattern|description|pattern" filter in Qt's "description (patterns);;..." form.
QString qtFileFilter(const QString& barSeparated);
