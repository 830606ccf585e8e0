#include "ui/main/WindowFeedback.h"

#include "qtbase/Prompter.h"
#include "ui/main/UiClock.h"

#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>

void WindowFeedback::Attach(QLabel* status, QProgressBar* progress) {
    status_ = status;
    progress_ = progress;
}

void WindowFeedback::KeepAlive() {
    if (sincePump_.isValid() && sincePump_.elapsed() < kPumpIntervalMs)
        return;
    PaintNow();
}

void WindowFeedback::PaintNow() {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    sincePump_.start();
}

void WindowFeedback::ShowInfo(const std::string& text) {
    prompter_.Info(QString::fromStdString(text));
}

void WindowFeedback::ShowWarning(const std::string& text) {
    prompter_.Warning(QString::fromStdString(text));
}

bool WindowFeedback::Confirm(const std::string& text) {
    return prompter_.Confirm(QString::fromStdString(text));
}

void WindowFeedback::SetProgress(int position, int max) {
    if (progress_ != nullptr) {
        // A range of 0..0 would turn Qt's bar into a busy indicator.
        progress_->setMaximum(max > 0 ? max : 1);
        progress_->setValue(position);
    }
    KeepAlive();
}

std::string WindowFeedback::ClockText() {
    return clock_.ClockText();
}

void WindowFeedback::ShowDueHint() {
    if (!speedHintDue_ || status_ == nullptr)
        return;
    speedHintDue_ = false;
    status_->setText(kFindSpeedHint);
}

void WindowFeedback::SetStatusText(const std::string& text) {
    if (status_ != nullptr)
        status_->setText(QString::fromStdString(text));
}
