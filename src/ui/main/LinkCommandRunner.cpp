#include "ui/main/LinkCommandRunner.h"

#include "card/CardSession.h"
#include "qtbase/Prompter.h"
#include "ui/main/WaitShow.h"

#include <algorithm>
#include <optional>

void CardJob::Refresh(CardPlace view) {
    if (std::find(refresh_.begin(), refresh_.end(), view) == refresh_.end())
        refresh_.push_back(view);
}

void CardJob::Warn(const QString& text) {
    reports_.push_back({true, text});
}

void CardJob::Inform(const QString& text) {
    reports_.push_back({false, text});
}

void CardJob::WaitWindowUp(bool up) {
    if (wait_ == nullptr)
        return;
    waitUp_ = up;
    if (up)
        wait_->Show();
    else
        wait_->Hide();
}

void CardJob::WaitUntilItCloses() {
    if (wait_ != nullptr)
        wait_->RunUntilItCloses();
}

void LinkCommandRunner::Attach(WaitShow* wait, TickHold* tick,
                               std::function<void(CardPlace)> refresh) {
    wait_ = wait;
    tick_ = tick;
    refresh_ = std::move(refresh);
}

bool LinkCommandRunner::Busy() const {
    return session_.LinkBusy();
}

// A request inside another one (a read of the check window while it is
// open) leaves the tick to the outer one.
void LinkCommandRunner::HoldTick() {
    if (holds_++ == 0 && tick_ != nullptr)
        tick_->StopTick();
}

void LinkCommandRunner::ReleaseTick() {
    if (--holds_ == 0 && tick_ != nullptr)
        tick_->RearmTick();
}

RunOutcome LinkCommandRunner::Run(const CardRequest& request) {
    if (session_.LinkBusy())
        return RunOutcome::Busy;
    // Started again on every way out.
    struct Hold {
        LinkCommandRunner* runner;
        ~Hold() {
            if (runner != nullptr)
                runner->ReleaseTick();
        }
    } hold{request.holdTick ? this : nullptr};
    if (request.holdTick)
        HoldTick();
    if (request.ask && !request.ask())
        return RunOutcome::Declined;

    CardJob job(wait_);
    RunOutcome outcome = RunOutcome::Done;
    {
        std::optional<CardSession::LinkWork> linkWork;
        if (request.linkWork)
            linkWork.emplace(session_);
        if (request.wait && wait_ != nullptr)
            wait_->Show();
        if (request.sameCard && !request.sameCard())
            outcome = RunOutcome::NotSameCard;
        else if (request.work)
            request.work(job);
        // A refresh is long link work: under the wait window, whatever the
        // work before it was.
        const bool waitUp = request.wait || job.waitUp_;
        if (!job.refresh_.empty() && refresh_) {
            if (!linkWork)
                linkWork.emplace(session_);
            if (!waitUp && wait_ != nullptr)
                wait_->Show();
            for (CardPlace view : job.refresh_)
                refresh_(view);
        }
        if ((waitUp || !job.refresh_.empty()) && wait_ != nullptr)
            wait_->Hide();
    }
    for (const CardJob::Report& report : job.reports_) {
        if (report.warning)
            prompts_.Warning(report.text);
        else
            prompts_.Info(report.text);
    }
    return outcome;
}
