#include "UserName.h"

#include <QChar>

QString upperCaseUserName(const QString& name) {
    QString upper;
    upper.reserve(name.size());
    for (qsizetype i = 0; i < name.size(); ++i) {
        const QChar unit = name[i];
        if (unit.isHighSurrogate() && i + 1 < name.size() && name[i + 1].isLowSurrogate()) {
            const char32_t letter = QChar::toUpper(QChar::surrogateToUcs4(unit, name[i + 1]));
            upper += QChar::fromUcs4(letter);
            ++i;
        } else {
            // A stray surrogate stays as it is.
            upper += unit.toUpper();
        }
    }
    return upper;
}
