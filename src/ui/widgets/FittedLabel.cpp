#include "ui/widgets/FittedLabel.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>

QFont FittedLabel::FittingFont(const QFont& font, const QString& text, const QSize& box) {
    QFont fitted = font;
    // Half a point at a time: close to the designed size, and never a loop
    // without end (a 1-point text is the floor).
    while (fitted.pointSizeF() > 1.0) {
        const QFontMetrics metrics(fitted);
        if (metrics.horizontalAdvance(text) <= box.width() && metrics.height() <= box.height())
            break;
        fitted.setPointSizeF(std::max(1.0, fitted.pointSizeF() - 0.5));
    }
    return fitted;
}

void FittedLabel::paintEvent(QPaintEvent* event) {
    if (!pixmap().isNull() || text().isEmpty()) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter painter(this);
    drawFrame(&painter);
    const QRect box = TextBox();
    painter.setFont(FittingFont(font(), text(), box.size()));
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, foregroundRole()));
    painter.drawText(box, static_cast<int>(alignment()), text());
}
