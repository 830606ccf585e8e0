#include "ui/main/UiClock.h"

#include <QEventLoop>
#include <QTime>
#include <QTimer>

std::string WallClock::ClockText() {
    return QTime::currentTime().toString("hh:mm:ss").toStdString();
}

void WallClock::Pause(int ms) {
    if (ms <= 0)
        return;
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}
