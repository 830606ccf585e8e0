#pragma once

#include "qtbase/Prompter.h"
#include "ui/main/CardPresenter.h"
#include "ui/main/MainWindow.h"
#include "ui/main/UiClock.h"

// What the window benchmarks put where a user would be: a prompter that
// answers every question the same way and counts the messages it was shown,
// and a clock whose pauses cost nothing.
class FixedPrompter : public Prompter {
  public:
    explicit FixedPrompter(bool yes = false) : yes_(yes) {}
    void Info(const QString&) override { ++messages; }
    void Warning(const QString&) override { ++messages; }
    void Error(const QString&) override { ++messages; }
    bool Confirm(const QString&) override { return yes_; }
    Answer YesNoCancel(const QString&) override { return yes_ ? Answer::Yes : Answer::Cancel; }
    std::optional<QString> Input(const QString&, const QString&, const QString&) override {
        return std::nullopt;
    }
    QString OpenFile(const FileDialogSetup&) override { return {}; }
    QString SaveFile(const FileDialogSetup&) override { return {}; }
    int messages = 0;

  private:
    bool yes_;
};

class NoWaitClock : public UiClock {
  public:
    std::string ClockText() override { return "12:00:00"; }
    void Pause(int) override {}
};

// The presenter of a window: the cards, the refreshes and the ticks.
inline CardPresenter& PresenterOf(MainWindow& window) {
    return *window.findChild<CardPresenter*>();
}
