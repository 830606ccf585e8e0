#include "ui/widgets/FocusRing.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QEvent>
#include <QPainter>

FocusRing::FocusRing(QWidget* window) : QWidget(window) {
    setObjectName("FocusRing");
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    hide();
    connect(qApp, &QApplication::focusChanged, this, &FocusRing::FocusChanged);
    // The window may hold the focus already.
    FocusChanged(nullptr, QApplication::focusWidget());
}

QColor FocusRing::Colour() const {
    const QWidget* window = parentWidget();
    const bool dark =
        window != nullptr && window->palette().color(QPalette::Window).lightness() < 128;
    return dark ? QColor(255, 214, 0) : QColor(0, 70, 180);
}

void FocusRing::RingEveryWindow() {
    static bool ringing = false;
    if (ringing)
        return;
    ringing = true;
    QObject::connect(qApp, &QApplication::focusChanged, qApp, [](QWidget*, QWidget* now) {
        QWidget* window = now != nullptr ? now->window() : nullptr;
        // Pop-up menus and tips mark their own items.
        if (window == nullptr || window == now || window->windowType() == Qt::Popup ||
            window->windowType() == Qt::ToolTip ||
            window->findChild<FocusRing*>(QString(), Qt::FindDirectChildrenOnly) != nullptr)
            return;
        new FocusRing(window);
    });
}

void FocusRing::FocusChanged(QWidget*, QWidget* now) {
    for (const QPointer<QWidget>& w : watched_)
        if (w != nullptr)
            w->removeEventFilter(this);
    watched_.clear();
    // The editor inside a spin box stands for the whole box.
    if (now != nullptr && now->parentWidget() != nullptr &&
        qobject_cast<QAbstractSpinBox*>(now->parentWidget()) != nullptr)
        now = now->parentWidget();
    QWidget* window = parentWidget();
    target_ = now != nullptr && now != window && window->isAncestorOf(now) ? now : nullptr;
    // Moving any of its ancestors moves the control too.
    for (QWidget* w = target_; w != nullptr && w != window; w = w->parentWidget()) {
        w->installEventFilter(this);
        watched_.append(w);
    }
    Follow();
}

bool FocusRing::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::Show:
    case QEvent::Hide:
        Follow();
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void FocusRing::Follow() {
    if (target_ == nullptr || !target_->isVisible()) {
        hide();
        return;
    }
    const QPoint topLeft = target_->mapTo(parentWidget(), QPoint(0, 0));
    const QRect around = QRect(topLeft, target_->size()).adjusted(-kWidth, -kWidth, kWidth, kWidth);
    setGeometry(around.intersected(parentWidget()->rect()));
    raise();
    show();
    update();
}

void FocusRing::paintEvent(QPaintEvent*) {
    // Drawn on the control's own edge and just outside it, in a colour that
    // stands out on the dark teal and on the light views alike.
    if (target_ == nullptr)
        return;
    QPainter painter(this);
    const QRect control(target_->mapTo(parentWidget(), QPoint(0, 0)) - pos(), target_->size());
    const QRect ring = control.adjusted(-kWidth, -kWidth, kWidth, kWidth);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Colour());
    // Four bars of kWidth * 2 pixels: half outside, half on the control's edge.
    const int bar = 2 * kWidth;
    painter.drawRect(QRect(ring.left(), ring.top(), ring.width(), bar));
    painter.drawRect(QRect(ring.left(), ring.bottom() - bar + 1, ring.width(), bar));
    painter.drawRect(QRect(ring.left(), ring.top(), bar, ring.height()));
    painter.drawRect(QRect(ring.right() - bar + 1, ring.top(), bar, ring.height()));
}
