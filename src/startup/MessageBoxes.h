#pragma once

#include <QString>

enum class MsgButtons { Ok, YesNo };
enum class MsgIcon { None, Stop, Question, Exclamation, Information };
enum class MsgAnswer { Ok, Yes, No, Extra };

// One message box as the system asks for it.
struct MessageBoxRequest {
    QString text;
    QString caption;
    MsgIcon icon = MsgIcon::None;
    MsgButtons buttons = MsgButtons::Ok;
    MsgAnswer defaultButton = MsgAnswer::Ok;
    // The text can be selected and copied (a path, say).
    bool selectable = false;
    // A Yes/No box's third button, answered as Extra (empty: none).
    QString extraButton = {};

    bool operator==(const MessageBoxRequest&) const = default;
};

// The seam every message box of the system goes through, so that tests can answer them.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // Shows the box modally and returns the button the user pressed.
    virtual MsgAnswer show(const MessageBoxRequest& request) = 0;

    MsgAnswer ok(const QString& text, const QString& caption, MsgIcon icon);
    MsgAnswer yesNo(const QString& text, const QString& caption, MsgIcon icon,
                    MsgAnswer defaultButton = MsgAnswer::Yes);
};
