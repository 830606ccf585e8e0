#include "ui/main/WaitWindow.h"

#include "ui/common/Centre.h"

#include <QTimer>

WaitWindow::WaitWindow(QWidget* parent) : QDialog(parent, Qt::FramelessWindowHint) {
    setWindowTitle("wait");
    setFixedSize(200, 175);
}

void WaitWindow::ShowOver(QWidget* over) {
    if (over != nullptr)
        move(CentredOver(over->frameGeometry(), frameSize()));
    show();
    repaint();
}

void WaitWindow::RunModalFor(QWidget* over) {
    if (over != nullptr)
        move(CentredOver(over->frameGeometry(), frameSize()));
    QTimer::singleShot(closeInterval_, this, &QDialog::accept);
    exec();
}
