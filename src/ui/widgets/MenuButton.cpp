#include "ui/widgets/MenuButton.h"

#include <QCursor>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>

MenuButton::MenuButton(const QString& caption, QMenu* menu, QWidget* parent)
    : QPushButton(caption, parent), menu_(menu) {
    connect(this, &QPushButton::clicked, this, &MenuButton::PopUp);
}

QPoint MenuButton::MenuPosition() const {
    return byMouse_ ? QCursor::pos() : mapToGlobal(QPoint(0, height()));
}

void MenuButton::mousePressEvent(QMouseEvent* event) {
    byMouse_ = true;
    QPushButton::mousePressEvent(event);
}

void MenuButton::mouseReleaseEvent(QMouseEvent* event) {
    byMouse_ = true;
    QPushButton::mouseReleaseEvent(event);
    byMouse_ = false;
}

void MenuButton::keyPressEvent(QKeyEvent* event) {
    byMouse_ = false;
    QPushButton::keyPressEvent(event);
}

void MenuButton::PopUp() {
    if (menu_ != nullptr)
        menu_->popup(MenuPosition());
}
