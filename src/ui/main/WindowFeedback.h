#pragma once

#include "card/CardFeedback.h"
#include "link/LinkHost.h"

#include <QElapsedTimer>

class Prompter;
class QLabel;
class QProgressBar;
class UiClock;

// What the card model and the link see of the main window: message boxes
// through the Prompter, the progress bar, the status line, the clock, and
// repaints. Link work runs on the GUI thread, so every repaint request also
// lets Qt paint and answer the window manager, with user input held back
// until the work is done.
class WindowFeedback : public CardFeedback, public LinkHost {
  public:
    WindowFeedback(Prompter& prompter, UiClock& clock) : prompter_(prompter), clock_(clock) {}
    void Attach(QLabel* status, QProgressBar* progress);

    // Paints whatever is pending and handles window-system events except
    // user input; at most once per kPumpIntervalMs so that the link's
    // polling loops stay fast.
    void KeepAlive();
    // The same, at once.
    void PaintNow();

    // CardFeedback
    void ShowInfo(const std::string& text) override;
    void ShowWarning(const std::string& text) override;
    bool Confirm(const std::string& text) override;
    void SetProgress(int position, int max) override;
    void Repaint() override { KeepAlive(); }
    void VerifiedTransferFailed() override { speedHintDue_ = true; }

    // After link work in which a verified transfer failed: the status line
    // points to the search for the link's speed, until the next status.
    static constexpr const char* kFindSpeedHint = "Link errors: try \"Find speed\" in Setup";
    void ShowDueHint();

    // LinkHost
    std::string ClockText() override;
    void RepaintMainWindow() override { KeepAlive(); }
    void SetStatusText(const std::string& text) override;

    static constexpr int kPumpIntervalMs = 15;

  private:
    Prompter& prompter_;
    UiClock& clock_;
    QLabel* status_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QElapsedTimer sincePump_;
    bool speedHintDue_ = false;
};
