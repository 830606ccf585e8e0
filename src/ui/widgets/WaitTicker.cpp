#include "ui/widgets/WaitTicker.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>

WaitTicker::WaitTicker(const QString& text, QWidget* parent) : QWidget(parent), text_(text) {
    setAccessibleName(text);
    timer_.setInterval(10);
    connect(&timer_, &QTimer::timeout, this, &WaitTicker::Step);
}

int WaitTicker::CycleWidth() const {
    return std::max(1, fontMetrics().horizontalAdvance(text_));
}

void WaitTicker::Step() {
    offset_ = (offset_ + 1) % CycleWidth();
    update();
}

int WaitTicker::HeightFor(int width) const {
    const QRect wrapped = fontMetrics().boundingRect(QRect(0, 0, width - 2 * kPadding, 1000),
                                                     Qt::TextWordWrap | Qt::AlignHCenter, text_);
    return std::max(fontMetrics().height(), wrapped.height()) + 2 * kPadding;
}

void WaitTicker::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor(0, 24, 24));
    painter.setPen(QColor(0, 64, 64));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    painter.setClipRect(rect().adjusted(1, 1, -1, -1));
    painter.setPen(QColor(255, 230, 90));
    if (!IsScrolling()) {
        // Standing still, the whole sentence shows, wrapped.
        painter.drawText(rect().adjusted(kPadding, kPadding, -kPadding, -kPadding),
                         Qt::TextWordWrap | Qt::AlignCenter, text_);
        return;
    }
    // Enough copies side by side to fill the panel whatever the offset.
    const int cycle = CycleWidth();
    const QRect line = rect().adjusted(0, 0, 0, -1);
    for (int x = -offset_; x < width(); x += cycle)
        painter.drawText(QRect(x, line.top(), cycle, line.height()), Qt::AlignVCenter, text_);
}
