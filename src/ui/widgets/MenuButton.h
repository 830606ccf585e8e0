#pragma once

#include <QPushButton>

class QMenu;

// A button that pops up a menu: at the mouse cursor when clicked with the
// mouse, under the button when pressed from the keyboard or by assistive
// technology, so that the menu opens where the user's attention is.
class MenuButton : public QPushButton {
    Q_OBJECT
  public:
    MenuButton(const QString& caption, QMenu* menu, QWidget* parent = nullptr);

    // Where the menu goes for this press.
    QPoint MenuPosition() const;
    QMenu* Menu() const { return menu_; }

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void PopUp();

    QMenu* menu_;
    bool byMouse_ = false;
};
