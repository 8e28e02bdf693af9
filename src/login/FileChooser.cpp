#include "FileChooser.h"

#include <QFileDialog>
#include <QStringList>

using namespace Qt::StringLiterals;

FileChooser desktopFileChooser() {
    return [](QWidget* parent, const QString& initial, const QString& filter) {
        QFileDialog dialog(parent, {}, initial, filter);
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setOption(QFileDialog::ReadOnly, false);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return QString();
        return dialog.selectedFiles().first();
    };
}

QString qtFileFilter(const QString& barSeparated) {
    const QStringList parts = barSeparated.split(u'|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString description = parts[i].trimmed();
        QString patterns = parts[i + 1].trimmed();
        patterns.replace(u';', u' ');
        // Qt reads the patterns from the last brackets of the description.
        if (description.endsWith(u'(' + patterns + u')'))
            filters << description;
        else
            filters << description + u" ("_s + patterns + u')';
    }
    if (filters.isEmpty())
        return barSeparated;
    return filters.join(u";;"_s);
}
