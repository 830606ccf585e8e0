#pragma once

#include <QPointer>
#include <QVector>
#include <QWidget>

// A clear frame around the control that has the keyboard focus in one
// window. The style's own focus marks all but vanish on the main window's
// dark background, and most of its tab stops (the card views, their flat
// buttons) have none at all. The ring is a transparent child of the window
// that follows the focused control as it moves, resizes or hides; the mouse
// goes through it. Dialogs get the same ring, in a dark colour on their
// light faces: the style marks a focused button only after a Tab, and then
// faintly.
class FocusRing : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kWidth = 2;

    explicit FocusRing(QWidget* window);
    // The control framed now; null when none is.
    QWidget* Target() const { return target_; }
    // Yellow on a dark window, dark blue on a light one.
    QColor Colour() const;
    // Gives every other window of the program (dialogs, message boxes, tool
    // windows) a ring of its own as soon as one of its controls takes the
    // focus. Once per program; later calls do nothing.
    static void RingEveryWindow();

  protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void FocusChanged(QWidget* old, QWidget* now);
    void Follow();

    QPointer<QWidget> target_;
    QVector<QPointer<QWidget>> watched_;
};
