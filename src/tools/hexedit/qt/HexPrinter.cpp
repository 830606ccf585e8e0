#include "tools/hexedit/qt/HexPrinter.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPrinter>
#include <cmath>

namespace {

QFont PrintFont() {
    QFont font(QStringLiteral("Courier New"));
    font.setPointSize(9);
    font.setFixedPitch(true);
    font.setStyleHint(QFont::TypeWriter);
    return font;
}

} // namespace

QRect HexPrinter::Margins(const QSize& page) {
    const int top = page.height() / 20;
    const int bottom = page.height() - page.height() / 20;
    const int left = page.width() / 20;
    const int right = page.width() - page.width() / 20;
    return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
}

QString HexPrinter::LineText(int64_t offset) const {
    const int base = memFieldDisplay_ == 1 ? 10 : memFieldDisplay_ == 2 ? 8 : 16;
    const int width = base == 16 ? 2 : 3;
    QString line = QString::number(offset, base).toUpper().rightJustified(8, '0') + ": ";
    QString characters;
    for (int i = 0; i < kBytesPerLine; ++i) {
        const int64_t position = offset + i;
        if (position >= document_.Size()) {
            line += QString(width + 1, ' ');
            continue;
        }
        const uint8_t byte = document_.At(position);
        line += QString::number(byte, base).toUpper().rightJustified(width, '0') + ' ';
        const char32_t shown = DisplayCharacter(translation_, byte, true);
        characters += QString::fromUcs4(&shown, 1);
    }
    return line + ' ' + characters;
}

int64_t HexPrinter::DrawPage(QPainter& painter, const QRect& area, int64_t start,
                             const QString& pageText, const QString& title) const {
    const int64_t size = document_.Size();
    start = std::clamp<int64_t>(start, 0, size);
    painter.save();
    painter.setClipRect(area);
    painter.setFont(PrintFont());
    painter.setPen(Qt::black);
    const QFontMetrics metrics(painter.font(), painter.device());
    const int lineHeight = metrics.height();
    int y = area.top();
    painter.drawText(QRect(area.left(), y, area.width(), lineHeight), Qt::AlignLeft, title);
    painter.drawText(QRect(area.left(), y, area.width(), lineHeight), Qt::AlignRight, pageText);
    y += lineHeight + lineHeight / 2;
    painter.drawLine(area.left(), y - lineHeight / 4, area.right(), y - lineHeight / 4);
    // At least one line a page, so printing always comes to an end.
    const int64_t lines = std::max(1, (area.bottom() - y) / lineHeight);
    int64_t position = start;
    for (int64_t i = 0; i < lines && position < size; ++i) {
        painter.drawText(area.left(), y + metrics.ascent(), LineText(position));
        position = std::min(size, position + kBytesPerLine);
        y += lineHeight;
    }
    painter.restore();
    return position;
}

bool HexPrinter::PrintAll(QPrinter& printer, const QString& title) const {
    printer.setFullPage(true);
    QPainter painter;
    if (!painter.begin(&printer))
        return false;
    const QRect paper = printer.pageLayout().fullRectPixels(printer.resolution());
    const QRect area = Margins(paper.size());
    int64_t position = 0;
    for (int page = 1;; ++page) {
        painter.fillRect(QRect(QPoint(0, 0), paper.size()), Qt::white);
        position = DrawPage(painter, area, position, QStringLiteral("Page %1").arg(page), title);
        if (position >= document_.Size())
            break;
        printer.newPage();
    }
    return painter.end();
}

QImage HexPrinter::PreviewPage(const QSizeF& pageSize, const QString& title) const {
    const double width = pageSize.width() > 0 ? pageSize.width() : 1;
    const int height = static_cast<int>(std::lround(1000.0 * pageSize.height() / width));
    QImage image(1000, std::max(height, 1), QImage::Format_RGB32);
    image.fill(Qt::white);
    // The picture stands for the whole page, so fonts come out in proportion.
    if (pageSize.width() > 0) {
        const double pageWidthMetres = pageSize.width() / 72.0 * 0.0254;
        const int dotsPerMetre = static_cast<int>(std::lround(1000.0 / pageWidthMetres));
        image.setDotsPerMeterX(dotsPerMetre);
        image.setDotsPerMeterY(dotsPerMetre);
    }
    QPainter painter(&image);
    DrawPage(painter, Margins(image.size()), 0, QStringLiteral("Page 1"), title);
    return image;
}
