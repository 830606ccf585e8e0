#include "ui/widgets/CardBlockPicture.h"

#include "qtbase/PlainText.h"

#include <QAccessible>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <algorithm>

namespace {

constexpr int kSide = 16;

} // namespace

CardBlockPicture::CardBlockPicture(QWidget* parent) : QWidget(parent) {
    setObjectName("CardBlocks");
    setAccessibleName("Card blocks");
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setFixedSize(sizeHint());
    for (auto& use : map_.use)
        use = CardBlockMap::Use::Free;
    std::fill(std::begin(map_.entry), std::end(map_.entry), CardBlockMap::kNoEntry);
}

QSize CardBlockPicture::sizeHint() const {
    return {kSide * kCell + 1 + 2 * kInset, kSide * kCell + 1 + 2 * kInset};
}

void CardBlockPicture::SetMap(const CardBlockMap& map, const QStringList& names) {
    map_ = map;
    names_ = names;
    update();
    SetCurrentBlock(current_);
}

QString CardBlockPicture::BlockText(int block) const {
    if (block < 0 || block >= CardVolume::kBlockCount)
        return {};
    const QString at = QStringLiteral("Block %1: ").arg(block);
    const int entry = map_.entry[block];
    const QString name = entry < names_.size() ? names_[entry] : QString();
    switch (map_.use[block]) {
    case CardBlockMap::Use::Saver:
        return at + name;
    case CardBlockMap::Use::Damaged:
        return at + (entry == CardBlockMap::kNoEntry
                         ? QStringLiteral("damaged, allocated to no saver")
                         : "damaged, " + name);
    case CardBlockMap::Use::System:
        return at + "system";
    case CardBlockMap::Use::Outside:
        return at + "beyond the user blocks";
    case CardBlockMap::Use::Free:
        break;
    }
    return at + "free";
}

QColor CardBlockPicture::BlockColour(int block) const {
    switch (map_.use[block]) {
    case CardBlockMap::Use::Saver:
        // Neighbouring directory entries far apart on the colour wheel, and
        // none of them red, the colour of damage.
        return QColor::fromHsv(40 + (map_.entry[block] * 67) % 280, 110, 235);
    case CardBlockMap::Use::Damaged:
        return QColor(210, 30, 30);
    case CardBlockMap::Use::System:
        return QColor(90, 90, 90);
    case CardBlockMap::Use::Outside:
        return QColor(185, 185, 185);
    case CardBlockMap::Use::Free:
        break;
    }
    return QColor(250, 250, 250);
}

void CardBlockPicture::SetCurrentBlock(int block) {
    current_ = std::clamp(block, 0, CardVolume::kBlockCount - 1);
    const QString text = BlockText(current_);
    setToolTip(PlainToolTip(text));
    setAccessibleDescription(text);
    QAccessibleEvent changed(this, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&changed);
    update();
}

void CardBlockPicture::paintEvent(QPaintEvent*) {
    QPainter p(this);
    // Drawn in device pixels, so that every line of the grid is one pixel
    // wide at any scale, and inside the widget's edge.
    const qreal ratio = p.device()->devicePixelRatioF();
    p.scale(1 / ratio, 1 / ratio);
    const auto at = [ratio](int logical) { return qRound((logical + kInset) * ratio); };
    const auto cellRect = [&](int b) {
        const int x = (b % kSide) * kCell;
        const int y = (b / kSide) * kCell;
        return QRect(QPoint(at(x), at(y)), QPoint(at(x + kCell), at(y + kCell)));
    };
    p.setPen(QPen(QColor(60, 60, 60), 0));
    for (int b = 0; b < CardVolume::kBlockCount; ++b) {
        const QRect cell = cellRect(b);
        p.fillRect(cell, BlockColour(b));
        p.drawRect(cell.adjusted(0, 0, -1, -1));
        // Damage is told by a cross as well as by colour.
        if (map_.use[b] == CardBlockMap::Use::Damaged) {
            p.drawLine(cell.topLeft(), cell.bottomRight());
            p.drawLine(cell.topRight(), cell.bottomLeft());
        }
    }
    if (hasFocus()) {
        const int width = std::max(1, qRound(3 * ratio));
        const int inner = qRound(ratio);
        p.setPen(QPen(palette().color(QPalette::Highlight), width));
        p.drawRect(cellRect(current_).adjusted(inner, inner, -inner, -inner));
    }
}

void CardBlockPicture::keyPressEvent(QKeyEvent* event) {
    int step = 0;
    switch (event->key()) {
    case Qt::Key_Left:
        step = -1;
        break;
    case Qt::Key_Right:
        step = 1;
        break;
    case Qt::Key_Up:
        step = -kSide;
        break;
    case Qt::Key_Down:
        step = kSide;
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    SetCurrentBlock(current_ + step);
}

int CardBlockPicture::BlockAt(const QPoint& point) const {
    const QPoint grid = point - QPoint(kInset, kInset);
    const int column = grid.x() / kCell;
    const int row = grid.y() / kCell;
    if (grid.x() < 0 || grid.y() < 0 || column >= kSide || row >= kSide)
        return -1;
    return row * kSide + column;
}

void CardBlockPicture::mousePressEvent(QMouseEvent* event) {
    const int block = BlockAt(event->position().toPoint());
    if (block >= 0)
        SetCurrentBlock(block);
    QWidget::mousePressEvent(event);
}

void CardBlockPicture::mouseMoveEvent(QMouseEvent* event) {
    const int block = BlockAt(event->position().toPoint());
    if (block >= 0)
        QToolTip::showText(event->globalPosition().toPoint(), BlockText(block), this);
    QWidget::mouseMoveEvent(event);
}
