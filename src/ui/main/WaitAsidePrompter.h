#pragma once

#include "qtbase/Prompter.h"

class WaitShow;

// The window's Prompter: every message box, question, input box and file
// dialog goes through here, and while the wait window is up it is taken down
// first and put back afterwards, so that nothing the user has to read or
// answer opens under it (or has it standing over the answer). No command has
// to think of it. The modal wait of the page change is left alone: hiding it
// would end it.
class WaitAsidePrompter : public Prompter {
  public:
    explicit WaitAsidePrompter(Prompter& inner) : inner_(inner) {}
    // The wait window, once it exists.
    void Attach(WaitShow* wait) { wait_ = wait; }

    void Info(const QString& text) override;
    void Warning(const QString& text) override;
    void Error(const QString& text) override;
    bool Confirm(const QString& text) override;
    Answer YesNoCancel(const QString& text) override;
    std::optional<QString> Input(const QString& title, const QString& prompt,
                                 const QString& initial) override;
    QString OpenFile(const FileDialogSetup& setup) override;
    QString SaveFile(const FileDialogSetup& setup) override;

  private:
    // Takes the wait window down for its lifetime when it was up.
    class Aside {
      public:
        explicit Aside(const WaitAsidePrompter& owner);
        ~Aside();
        Aside(const Aside&) = delete;
        Aside& operator=(const Aside&) = delete;

      private:
        const WaitAsidePrompter& owner_;
        bool wasUp_ = false;
    };

    Prompter& inner_;
    WaitShow* wait_ = nullptr;
};
