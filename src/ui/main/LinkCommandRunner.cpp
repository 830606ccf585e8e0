#include "ui/main/LinkCommandRunner.h"

#include "card/CardSession.h"
#include "ui/dialogs/WaitWindow.h"
#include "ui/main/AutoRefresh.h"
#include "ui/main/WaitAsidePrompter.h"

#include <optional>

namespace {

// Started again on every way out of the work.
class AutoRefreshHold {
  public:
    explicit AutoRefreshHold(AutoRefresh* autoRefresh) : autoRefresh_(autoRefresh) {
        if (autoRefresh_ != nullptr)
            autoRefresh_->Stop();
    }
    ~AutoRefreshHold() {
        if (autoRefresh_ != nullptr)
            autoRefresh_->Rearm();
    }
    AutoRefreshHold(const AutoRefreshHold&) = delete;
    AutoRefreshHold& operator=(const AutoRefreshHold&) = delete;

  private:
    AutoRefresh* autoRefresh_;
};

} // namespace

LinkCommandRunner::LinkCommandRunner(CardSession& session, QWidget& window,
                                     WaitAsidePrompter& prompts)
    : session_(session), window_(window), prompts_(prompts) {}

void LinkCommandRunner::Attach(AutoRefresh* autoRefresh, WaitWindow* wait) {
    autoRefresh_ = autoRefresh;
    wait_ = wait;
    prompts_.Attach(wait, &window_);
}

Prompter& LinkCommandRunner::Prompts() {
    return prompts_;
}

LinkOutcome LinkCommandRunner::RunLinkCommand(const LinkCommand& command,
                                              const std::function<void()>& work) {
    if (!command.joins && session_.LinkBusy())
        return LinkOutcome::Busy;
    const AutoRefreshHold hold(command.holdAutoRefresh ? autoRefresh_ : nullptr);
    std::optional<CardSession::LinkWork> linkWork;
    if (command.linkWork)
        linkWork.emplace(session_);
    if (command.wait)
        ShowWait();
    LinkOutcome outcome = LinkOutcome::Done;
    if (command.sameCard && !command.sameCard())
        outcome = LinkOutcome::NotSameCard;
    else
        work();
    if (command.wait)
        HideWait();
    return outcome;
}

void LinkCommandRunner::Join(const std::function<void()>& work) {
    LinkCommand command;
    command.joins = true;
    RunLinkCommand(command, work);
}

void LinkCommandRunner::JoinWaiting(const std::function<void()>& work) {
    LinkCommand command;
    command.joins = true;
    command.wait = true;
    RunLinkCommand(command, work);
}

void LinkCommandRunner::HideWait() {
    if (wait_ != nullptr)
        wait_->hide();
}

void LinkCommandRunner::WaitUntilItCloses() {
    if (wait_ != nullptr)
        wait_->RunModalFor(&window_);
}

void LinkCommandRunner::ShowWait() {
    if (wait_ != nullptr)
        wait_->ShowOver(&window_);
}
