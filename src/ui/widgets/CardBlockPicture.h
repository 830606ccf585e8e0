#pragma once

#include "card/CardBlockMap.h"

#include <QStringList>
#include <QWidget>

// The 256 blocks of a card as a 16 x 16 picture, block 0 at the top left:
// each saver in a colour of its own, free blocks white, system blocks dark
// grey, blocks beyond the user area light grey, damaged blocks red and
// crossed. The arrow keys (and the mouse) choose a block; its use is the
// accessible description and the tool tip.
class CardBlockPicture : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kCell = 14;
    // Room around the grid: at a scale such as 1.5 the widget starts between
    // two device pixels, and a line on its very edge is clipped away.
    static constexpr int kInset = 1;

    explicit CardBlockPicture(QWidget* parent = nullptr);

    // The map and the savers' names by directory index.
    void SetMap(const CardBlockMap& map, const QStringList& names);
    void SetCurrentBlock(int block);
    // "Block 197: ALPHA", "Block 12: free", ...
    QString BlockText(int block) const;
    // The colour block is painted in.
    QColor BlockColour(int block) const;

    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

  private:
    int BlockAt(const QPoint& point) const;

    CardBlockMap map_;
    QStringList names_;
    int current_ = 0;
};
