#include "ui/dialogs/WaitWindow.h"

#include "qtbase/Centre.h"
#include "ui/widgets/WaitPicture.h"
#include "ui/widgets/WaitTicker.h"

#include <QCloseEvent>
#include <QEvent>
#include <QKeyEvent>
#include <QPainter>
#include <algorithm>

WaitWindow::WaitWindow(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), picture_(DrawWaitPicture()) {
    setWindowTitle("wait");
    setAccessibleName("wait");
    setAccessibleDescription(kText);
    setFixedSize(kWidth, kHeight);

    ticker_ = new WaitTicker(kText, this);
    ticker_->setObjectName("waitTicker");
    // As tall as the text needs in the window's font; at least the designed 20.
    const int tickerHeight = std::max(20, ticker_->HeightFor(kWidth - 16));
    ticker_->setGeometry(8, kHeight - 8 - tickerHeight, kWidth - 16, tickerHeight);

    closeTimer_.setSingleShot(true);
    connect(&closeTimer_, &QTimer::timeout, this, [this] { done(QDialog::Accepted); });
}

void WaitWindow::CentreOver(QWidget* over) {
    if (over != nullptr)
        move(CentredOver(over->frameGeometry(), frameSize()));
}

void WaitWindow::ShowOver(QWidget* over) {
    CentreOver(over);
    show();
    raise();
    repaint();
}

void WaitWindow::RunModalFor(QWidget* over) {
    CentreOver(over);
    closeTimer_.start(closeInterval_);
    exec();
    closeTimer_.stop();
}

void WaitWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawPixmap(0, 0, picture_);
}

void WaitWindow::changeEvent(QEvent* event) {
    // The text runs only while this window has the user's eye.
    if (event->type() == QEvent::ActivationChange) {
        if (isActiveWindow())
            ticker_->Start();
        else
            ticker_->Stop();
    }
    QDialog::changeEvent(event);
}

void WaitWindow::hideEvent(QHideEvent* event) {
    ticker_->Stop();
    QDialog::hideEvent(event);
}

void WaitWindow::closeEvent(QCloseEvent* event) {
    // Only the program puts the window away: the card must stay in place
    // until the work (or the page change) is over.
    if (event->spontaneous())
        event->ignore();
    else
        QDialog::closeEvent(event);
}

void WaitWindow::keyPressEvent(QKeyEvent* event) {
    // Escape would end the modal wait early.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
