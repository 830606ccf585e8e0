#pragma once

#include "card/CardPlace.h"

#include <QString>
#include <functional>
#include <vector>

class CardSession;
class Prompter;
class WaitShow;

// The auto-refresh tick as the runner holds it around a request.
class TickHold {
  public:
    virtual ~TickHold() = default;
    virtual void StopTick() = 0;
    // Started again when the setting is on and it is not running.
    virtual void RearmTick() = 0;
};

// What the work of a request tells the runner while it runs.
class CardJob {
  public:
    // The view is read again after the work (each view once, in the order
    // named), still as link work and under the wait window.
    void Refresh(CardPlace view);
    // Told once the work is over and the wait window is down: an engine's
    // failure (Warn) or outcome (Inform).
    void Warn(const QString& text);
    void Inform(const QString& text);
    // The wait window put up or taken down in the middle of the work (the
    // logo import shows it from the accepted picture on); it is down again
    // when the work ends.
    void WaitWindowUp(bool up);
    // The wait window, modal until its own close timer fires (the page
    // change of the paged card).
    void WaitUntilItCloses();

  private:
    friend class LinkCommandRunner;
    explicit CardJob(WaitShow* wait) : wait_(wait) {}

    struct Report {
        bool warning;
        QString text;
    };
    WaitShow* wait_;
    bool waitUp_ = false;
    std::vector<CardPlace> refresh_;
    std::vector<Report> reports_;
};

// One piece of card work as the window asks for it. Run takes its steps in
// this order: the gate (nothing while other link work runs), the tick held,
// the question, the link work with the wait window, the same-card check,
// the work, the views it named read again, the wait window down, the
// engine's reports, the tick started again.
struct CardRequest {
    // The questions and dialogs before the work (a file dialog, "Delete
    // ...?"), asked once the gate let the request in; false ends it with
    // nothing done. No link work is held meanwhile: the window goes on
    // ticking.
    std::function<bool()> ask = {};
    // The auto-refresh tick stopped from the question to the end of the
    // work, so that no tick re-reads a slot between a question and the work
    // it asks about.
    bool holdTick = false;
    // Held as link work: the ticks stay out, the open image is locked and
    // each slot block is read once. Off for work that only shows a window
    // (the check, history and tool windows) and runs its card work as
    // requests of its own.
    bool linkWork = true;
    // The wait window up for the work and the refreshes.
    bool wait = false;
    // The engine refuses its own writes to a card that is no longer the one
    // listed (card/SameCard.h); work that writes around it checks here,
    // after the wait window went up. False: the work does not run.
    std::function<bool()> sameCard = {};
    std::function<void(CardJob&)> work = {};
};

enum class RunOutcome {
    Done,
    Busy,        // refused: other link work runs
    Declined,    // the question was answered no, or the dialog cancelled
    NotSameCard, // the same-card check said no
};

// The one way card work runs in the window: every command, tick, refresh
// and page change goes through Run, and nothing starts inside link work
// that runs. Its questions and reports go through the window's prompter,
// which takes the wait window down first.
class LinkCommandRunner {
  public:
    LinkCommandRunner(CardSession& session, Prompter& prompts)
        : session_(session), prompts_(prompts) {}
    // Set once the window has built them; refresh reads a view's card again
    // as part of the work under way.
    void Attach(WaitShow* wait, TickHold* tick, std::function<void(CardPlace)> refresh);

    RunOutcome Run(const CardRequest& request);
    // Link work runs: a drop or a close has to wait.
    bool Busy() const;

  private:
    void HoldTick();
    void ReleaseTick();

    CardSession& session_;
    Prompter& prompts_;
    WaitShow* wait_ = nullptr;
    TickHold* tick_ = nullptr;
    std::function<void(CardPlace)> refresh_;
    int holds_ = 0;
};
