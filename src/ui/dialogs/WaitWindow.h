#pragma once

#include <QDialog>
#include <QPixmap>
#include <QTimer>

class WaitTicker;

// The "wait" window shown around long link work: a borderless 200 x 175
// picture with a line of text scrolling along its bottom while the window is
// active. Shown without blocking around transfers, or modally until its own
// close timer fires (the page change of the paged card needs that long).
class WaitWindow : public QDialog {
    Q_OBJECT
  public:
    static constexpr int kWidth = 200;
    static constexpr int kHeight = 175;
    static constexpr int kCloseInterval = 18000;
    static constexpr const char* kText = "Please don't remove the card while it is being "
                                         "commuicate ! ";

    explicit WaitWindow(QWidget* parent = nullptr);
    // Centres over `over` (when given), shows without blocking and paints at
    // once.
    void ShowOver(QWidget* over);
    // Centres over `over` (when given) and runs modally until the close
    // timer fires; the timer is stopped again afterwards.
    void RunModalFor(QWidget* over);
    // The close timer's interval, for tests.
    void SetCloseInterval(int ms) { closeInterval_ = ms; }
    bool CloseTimerActive() const { return closeTimer_.isActive(); }
    WaitTicker* Ticker() const { return ticker_; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void CentreOver(QWidget* over);

    QPixmap picture_;
    WaitTicker* ticker_ = nullptr;
    QTimer closeTimer_;
    int closeInterval_ = kCloseInterval;
};
