#pragma once

#include <functional>

class AutoRefresh;
class CardSession;
class Prompter;
class QWidget;
class WaitAsidePrompter;
class WaitWindow;

// How a piece of link work runs.
struct LinkCommand {
    // A part of a command already under way (a refresh inside a copy, a
    // pause inside a tick) joins it; anything else is refused while other
    // link work runs, so no command starts inside another.
    bool joins = false;
    // Held as link work: the ticks stay out and the open image is locked.
    // Off for the questions a command asks before it touches a card, during
    // which the window goes on ticking.
    bool linkWork = true;
    // The auto-refresh tick stopped meanwhile and started again afterwards
    // (when the setting is on), so that no tick re-reads a slot between a
    // question and the work it asks about.
    bool holdAutoRefresh = false;
    // The wait window shown for the work and hidden after it.
    bool wait = false;
    // The engine refuses its own writes to a card that is no longer the one
    // listed (card/SameCard.h); work that writes around it checks here,
    // after the wait window went up. False: the work does not run and the
    // wait window goes again.
    std::function<bool()> sameCard;
};

enum class LinkOutcome {
    Done,
    Busy,        // refused: other link work runs
    NotSameCard, // the same-card check said no
};

// The one way link work runs in the window: every command, tick, refresh
// and pause goes through RunLinkCommand. Its questions and reports go
// through the window's prompter, which takes the wait window down first.
class LinkCommandRunner {
  public:
    LinkCommandRunner(CardSession& session, QWidget& window, WaitAsidePrompter& prompts);
    // Set once the window has built them.
    void Attach(AutoRefresh* autoRefresh, WaitWindow* wait);
    Prompter& Prompts();

    LinkOutcome RunLinkCommand(const LinkCommand& command, const std::function<void()>& work);
    // A part of the running command, refused never.
    void Join(const std::function<void()>& work);
    // A part of the running command with the wait window up.
    void JoinWaiting(const std::function<void()>& work);
    // The wait window, modal until its own close timer fires.
    void WaitUntilItCloses();
    // For windows that put the wait window up around steps of their own (the
    // check window's repair, the logo import): shown, and gone again.
    void ShowWait();
    void HideWait();

  private:
    CardSession& session_;
    QWidget& window_;
    WaitAsidePrompter& prompts_;
    AutoRefresh* autoRefresh_ = nullptr;
    WaitWindow* wait_ = nullptr;
};
