#include "WindowErrors.h"

#include "AppTitle.h"
#include "MessageBoxes.h"

using namespace Qt::StringLiterals;

void showWindowError(MessageBoxes& boxes, const ErrorRecord& error, const QString& operation) {
    boxes.ok(u"Fehler: "_s + QString::number(error.number()) + u"in "_s + operation + u"\r\n"_s +
                 error.description(),
             AppTitle(), MsgIcon::Exclamation);
}
