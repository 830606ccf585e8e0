#pragma once

#include "qtbase/Prompter.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

// The test stand-in for every message box, input box and file dialog: records
// what was shown and answers from a script, in order.
//   Confirm      takes "yes" or "no"
//   YesNoCancel  takes "yes", "no" or "cancel"
//   Input        takes the text to type, or "<cancel>"
//   OpenFile / SaveFile take the path to choose, or "" to cancel
// A question asked with no answer left counts as No / cancel and is marked
// in Unanswered(), so a test notices a box it did not expect.
class ScriptedPrompter : public Prompter {
  public:
    struct Call {
        QString kind; // "info", "warning", "error", "confirm", "yesnocancel", "input", "open",
                      // "save", "folder"
        QString text; // message, input prompt, or dialog filter
        FileDialogSetup setup;
    };

    ScriptedPrompter& Then(const QString& answer) {
        answers_ << answer;
        return *this;
    }
    // The filter entry (its description) the next file dialog is left on;
    // without it a dialog answers with its first entry.
    ScriptedPrompter& WithFilter(const QString& description) {
        filter_ = description;
        return *this;
    }
    const QList<Call>& Calls() const { return calls_; }
    // "kind: text" of every call, in order.
    QStringList Log() const;
    // Texts of the message boxes only (info, warning, error, confirm, yesnocancel).
    QStringList Messages() const;
    int Unanswered() const { return unanswered_; }
    // Runs as each call is recorded, before it is answered.
    std::function<void(const Call&)> OnCall;
    // Runs while a confirmation is open, before it is answered: what the
    // user, or another program, does meanwhile.
    std::function<void(const QString&)> OnConfirm;
    int AnswersLeft() const { return answers_.size(); }
    void Clear() {
        calls_.clear();
        answers_.clear();
        unanswered_ = 0;
    }

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
    void Record(const Call& call);
    bool Take(QString& answer);
    QString TakeFile(const FileDialogSetup& setup);

    QList<Call> calls_;
    QStringList answers_;
    int unanswered_ = 0;
    QString filter_;
};
