#include "QtMessageBoxes.h"

#include <QMessageBox>
#include <QPushButton>

std::unique_ptr<QMessageBox> QtMessageBoxes::build(const MessageBoxRequest& request,
                                                   QWidget* parent) {
    auto box = std::make_unique<QMessageBox>(parent);
    box->setWindowTitle(request.caption);
    box->setText(request.text);
    box->setTextFormat(Qt::PlainText);
    if (request.selectable)
        box->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    switch (request.icon) {
    case MsgIcon::None:
        box->setIcon(QMessageBox::NoIcon);
        break;
    case MsgIcon::Stop:
        box->setIcon(QMessageBox::Critical);
        break;
    case MsgIcon::Question:
        box->setIcon(QMessageBox::Question);
        break;
    case MsgIcon::Exclamation:
        box->setIcon(QMessageBox::Warning);
        break;
    case MsgIcon::Information:
        box->setIcon(QMessageBox::Information);
        break;
    }
    if (request.buttons == MsgButtons::YesNo) {
        box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box->setDefaultButton(request.defaultButton == MsgAnswer::No ? QMessageBox::No
                                                                     : QMessageBox::Yes);
        // Esc answers No, as closing the box through its frame does.
        box->setEscapeButton(QMessageBox::No);
        if (!request.extraButton.isEmpty())
            box->addButton(request.extraButton, QMessageBox::ActionRole)
                ->setObjectName(QStringLiteral("extraButton"));
    } else {
        box->setStandardButtons(QMessageBox::Ok);
        box->setDefaultButton(QMessageBox::Ok);
    }
    return box;
}

MsgAnswer QtMessageBoxes::show(const MessageBoxRequest& request) {
    const auto box = build(request, parent_);
    const int pressed = box->exec();
    if (request.buttons == MsgButtons::Ok)
        return MsgAnswer::Ok;
    if (QAbstractButton* clicked = box->clickedButton();
        clicked != nullptr && clicked->objectName() == QStringLiteral("extraButton"))
        return MsgAnswer::Extra;
    return pressed == QMessageBox::Yes ? MsgAnswer::Yes : MsgAnswer::No;
}
