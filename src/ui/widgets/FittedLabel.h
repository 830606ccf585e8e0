#pragma once

#include <QLabel>

// A one-line label whose text always shows whole: when the font it was given
// does not fit its fixed box (larger fonts, another DPI), the text is drawn
// in the largest smaller size that does. The box stays where the layout put
// it, so nothing else moves.
class FittedLabel : public QLabel {
    Q_OBJECT
  public:
    using QLabel::QLabel;

    // font, or a smaller size of it, in which text fits box.
    static QFont FittingFont(const QFont& font, const QString& text, const QSize& box);
    // Keeps `room` pixels free at both sides (controls stand there).
    void SetSideRoom(int room) {
        sideRoom_ = room;
        update();
    }
    // Where the text is drawn.
    QRect TextBox() const { return contentsRect().adjusted(sideRoom_, 0, -sideRoom_, 0); }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    int sideRoom_ = 0;
};
