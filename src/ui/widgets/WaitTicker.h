#pragma once

#include <QString>
#include <QTimer>
#include <QWidget>

// A small panel that scrolls one line of text to the left in an endless
// loop, one pixel per step. While it stands still it shows the whole text,
// wrapped over as many lines as the panel's width needs.
class WaitTicker : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kPadding = 2;

    explicit WaitTicker(const QString& text, QWidget* parent = nullptr);
    // The height that shows the whole text, wrapped, at this width.
    int HeightFor(int width) const;

    void Start() {
        timer_.start();
        update();
    }
    void Stop() {
        timer_.stop();
        update();
    }
    bool IsScrolling() const { return timer_.isActive(); }
    // Milliseconds between steps; 10 unless a test shortens the wait.
    void SetStepInterval(int ms) { timer_.setInterval(ms); }
    int StepInterval() const { return timer_.interval(); }
    // Pixels the text has moved left, 0 .. CycleWidth() - 1.
    int ScrollOffset() const { return offset_; }
    // One loop: the width of the text, its trailing blank included.
    int CycleWidth() const;
    // Moves the text one pixel on; the timer calls this.
    void Step();

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QString text_;
    QTimer timer_;
    int offset_ = 0;
};
