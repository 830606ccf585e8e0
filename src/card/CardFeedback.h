#pragma once

#include <string>

// What card work tells the user while it runs: messages, a yes/no question,
// the progress bar and a repaint. The main window answers with real dialogs;
// the command-line tool and the tests with text or a script.
class CardFeedback {
  public:
    virtual ~CardFeedback() = default;
    // Information box with an OK button.
    virtual void ShowInfo(const std::string& text) = 0;
    // Warning box with an OK button.
    virtual void ShowWarning(const std::string& text) = 0;
    // Yes/No question; true only for Yes.
    virtual bool Confirm(const std::string& text) = 0;
    // Progress bar of a long operation: position out of max.
    virtual void SetProgress(int position, int max) = 0;
    // Repaint the wait window and the main window during a long operation.
    virtual void Repaint() = 0;
    // A verified transfer failed after all its attempts (its message has been
    // shown): the link may be set faster than the box keeps up with, which a
    // search for the link's speed would tell. Nothing by default.
    virtual void VerifiedTransferFailed() {}
};

// Does nothing and answers No: for callers that have no user to ask.
class SilentCardFeedback : public CardFeedback {
  public:
    void ShowInfo(const std::string&) override {}
    void ShowWarning(const std::string&) override {}
    bool Confirm(const std::string&) override { return false; }
    void SetProgress(int, int) override {}
    void Repaint() override {}
};
