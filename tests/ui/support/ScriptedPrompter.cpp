#include "ui/support/ScriptedPrompter.h"

QStringList ScriptedPrompter::Log() const {
    QStringList log;
    for (const Call& call : calls_)
        log << call.kind + ": " + call.text;
    return log;
}

QStringList ScriptedPrompter::Messages() const {
    QStringList texts;
    for (const Call& call : calls_)
        if (call.kind != "input" && call.kind != "open" && call.kind != "save")
            texts << call.text;
    return texts;
}

bool ScriptedPrompter::Take(QString& answer) {
    if (answers_.isEmpty()) {
        ++unanswered_;
        return false;
    }
    answer = answers_.takeFirst();
    return true;
}

void ScriptedPrompter::Info(const QString& text) {
    calls_.append({"info", text, {}});
}

void ScriptedPrompter::Warning(const QString& text) {
    calls_.append({"warning", text, {}});
}

void ScriptedPrompter::Error(const QString& text) {
    calls_.append({"error", text, {}});
}

bool ScriptedPrompter::Confirm(const QString& text) {
    calls_.append({"confirm", text, {}});
    if (OnConfirm)
        OnConfirm(text);
    QString answer;
    return Take(answer) && answer == "yes";
}

Prompter::Answer ScriptedPrompter::YesNoCancel(const QString& text) {
    calls_.append({"yesnocancel", text, {}});
    QString answer;
    if (!Take(answer))
        return Answer::Cancel;
    if (answer == "yes")
        return Answer::Yes;
    return answer == "no" ? Answer::No : Answer::Cancel;
}

std::optional<QString> ScriptedPrompter::Input(const QString& title, const QString& prompt,
                                               const QString& initial) {
    FileDialogSetup setup;
    setup.title = title;
    setup.fileName = initial;
    calls_.append({"input", prompt, setup});
    QString answer;
    if (!Take(answer) || answer == "<cancel>")
        return std::nullopt;
    return answer;
}

QString ScriptedPrompter::OpenFile(const FileDialogSetup& setup) {
    calls_.append({"open", setup.filter, setup});
    QString answer;
    return Take(answer) ? answer : QString();
}

QString ScriptedPrompter::SaveFile(const FileDialogSetup& setup) {
    calls_.append({"save", setup.filter, setup});
    QString answer;
    return Take(answer) ? answer : QString();
}
