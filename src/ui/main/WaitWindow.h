#pragma once

#include <QDialog>

// The "wait" window shown around long link work.
// (First cut: the full window with its picture and scrolling text follows.)
class WaitWindow : public QDialog {
    Q_OBJECT
  public:
    explicit WaitWindow(QWidget* parent = nullptr);
    // Centres over `over`, shows without blocking and paints at once.
    void ShowOver(QWidget* over);
    // Shown modally over `over` until its own close timer fires (18 s).
    void RunModalFor(QWidget* over);
    // The close timer's interval, for tests.
    void SetCloseInterval(int ms) { closeInterval_ = ms; }

  private:
    int closeInterval_ = 18000;
};
