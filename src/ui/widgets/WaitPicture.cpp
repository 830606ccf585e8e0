#include "ui/widgets/WaitPicture.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace {

constexpr int kWidth = 200;
constexpr int kHeight = 175;

// The memory unit: a rounded body with its screen, a cross key and two
// buttons. Its screen shows a small heart, as a saver's icon might.
void DrawMemoryUnit(QPainter& p, const QRectF& body) {
    p.setPen(QPen(QColor(40, 40, 48), 1.5));
    QLinearGradient shell(body.topLeft(), body.bottomRight());
    shell.setColorAt(0, QColor(236, 236, 240));
    shell.setColorAt(1, QColor(170, 172, 184));
    p.setBrush(shell);
    p.drawRoundedRect(body, 9, 9);

    const QRectF screen(body.left() + 8, body.top() + 10, body.width() - 16, 36);
    p.setBrush(QColor(126, 160, 110));
    p.drawRoundedRect(screen, 2, 2);
    static const char* const kHeart[] = {".XX.XX.", "XXXXXXX", "XXXXXXX",
                                         ".XXXXX.", "..XXX..", "...X..."};
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(30, 44, 30));
    const double cell = 3.5;
    const QPointF origin(screen.center().x() - 3.5 * cell, screen.center().y() - 3 * cell);
    for (int r = 0; r < 6; ++r) {
        for (int c = 0; c < 7; ++c) {
            if (kHeart[r][c] == 'X')
                p.drawRect(QRectF(origin.x() + c * cell, origin.y() + r * cell, cell, cell));
        }
    }

    // Cross key.
    const QPointF pad(body.left() + 16, body.bottom() - 20);
    p.setBrush(QColor(60, 60, 70));
    p.drawRect(QRectF(pad.x() - 9, pad.y() - 3, 18, 6));
    p.drawRect(QRectF(pad.x() - 3, pad.y() - 9, 6, 18));
    // A and B.
    p.setBrush(QColor(190, 50, 60));
    p.drawEllipse(QPointF(body.right() - 12, body.bottom() - 25), 5, 5);
    p.drawEllipse(QPointF(body.right() - 22, body.bottom() - 15), 5, 5);
}

// The link box: a flat case with a port and a lamp.
void DrawLinkBox(QPainter& p, const QRectF& box) {
    p.setPen(QPen(QColor(20, 20, 24), 1.5));
    QLinearGradient metal(box.topLeft(), box.bottomLeft());
    metal.setColorAt(0, QColor(90, 96, 110));
    metal.setColorAt(1, QColor(46, 50, 60));
    p.setBrush(metal);
    p.drawRoundedRect(box, 4, 4);
    p.setBrush(QColor(20, 20, 24));
    p.drawRect(QRectF(box.left() + 8, box.top() + 10, box.width() - 16, 10));
    p.setPen(Qt::NoPen);
    for (int pin = 0; pin < 7; ++pin)
        p.drawRect(QRectF(box.left() + 11 + pin * 5, box.top() + 13, 2, 4));
    p.setBrush(QColor(250, 190, 40));
    p.drawEllipse(QPointF(box.right() - 9, box.bottom() - 9), 3.5, 3.5);
}

} // namespace

QPixmap DrawWaitPicture() {
    QPixmap picture(kWidth, kHeight);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);

    QLinearGradient sky(0, 0, 0, kHeight);
    sky.setColorAt(0, QColor(0, 96, 96));
    sky.setColorAt(1, QColor(0, 40, 40));
    p.fillRect(picture.rect(), sky);
    p.setPen(QPen(QColor(0, 128, 128), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(0.5, 0.5, kWidth - 1, kHeight - 1));

    const QRectF unit(18, 20, 62, 112);
    const QRectF box(130, 70, 56, 40);

    // The cable, with the bits travelling along it.
    QPainterPath cable;
    cable.moveTo(unit.right(), unit.center().y() + 24);
    cable.cubicTo(unit.right() + 30, unit.center().y() + 40, box.left() - 30, box.center().y() + 20,
                  box.left(), box.center().y() + 4);
    p.setPen(QPen(QColor(20, 20, 24), 4, Qt::SolidLine, Qt::RoundCap));
    p.drawPath(cable);
    p.setPen(QColor(180, 255, 220));
    QFont bits = p.font();
    bits.setPixelSize(9);
    bits.setBold(true);
    p.setFont(bits);
    const char* const kBits = "10110";
    for (int i = 0; i < 5; ++i) {
        const QPointF at = cable.pointAtPercent(0.12 + 0.18 * i);
        p.drawText(QPointF(at.x() - 3, at.y() - 6), QString(QChar(kBits[i])));
    }

    DrawMemoryUnit(p, unit);
    DrawLinkBox(p, box);

    // An hourglass over the link box: the transfer takes a while.
    const QPointF glass(box.center().x(), 36);
    QPainterPath sand;
    sand.moveTo(glass.x() - 11, glass.y() - 16);
    sand.lineTo(glass.x() + 11, glass.y() - 16);
    sand.lineTo(glass.x() + 1.5, glass.y());
    sand.lineTo(glass.x() + 11, glass.y() + 16);
    sand.lineTo(glass.x() - 11, glass.y() + 16);
    sand.lineTo(glass.x() - 1.5, glass.y());
    sand.closeSubpath();
    p.setPen(QPen(QColor(230, 230, 236), 1.5));
    p.setBrush(QColor(255, 255, 255, 50));
    p.drawPath(sand);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(240, 200, 90));
    QPolygonF lower;
    lower << QPointF(glass.x() - 7, glass.y() + 14) << QPointF(glass.x() + 7, glass.y() + 14)
          << QPointF(glass.x(), glass.y() + 6);
    p.drawPolygon(lower);
    QPolygonF upper;
    upper << QPointF(glass.x() - 6, glass.y() - 10) << QPointF(glass.x() + 6, glass.y() - 10)
          << QPointF(glass.x(), glass.y() - 3);
    p.drawPolygon(upper);
    return picture;
}
