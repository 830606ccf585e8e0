#include "ui/main/UiClock.h"

#include <QEventLoop>
#include <QTime>
#include <QTimer>
#include <ctime>

std::string WallClock::ClockText() {
    const std::time_t now = std::time(nullptr);
    if (now != second_) {
        second_ = now;
        text_ = QTime::currentTime().toString("hh:mm:ss").toStdString();
    }
    return text_;
}

void WallClock::Pause(int ms) {
    if (ms <= 0)
        return;
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}
