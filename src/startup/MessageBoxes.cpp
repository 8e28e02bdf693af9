#include "MessageBoxes.h"

MsgAnswer MessageBoxes::ok(const QString& text, const QString& caption, MsgIcon icon) {
    return show({text, caption, icon, MsgButtons::Ok, MsgAnswer::Ok});
}

MsgAnswer MessageBoxes::yesNo(const QString& text, const QString& caption, MsgIcon icon,
                              MsgAnswer defaultButton) {
    return show({text, caption, icon, MsgButtons::YesNo, defaultButton});
}
