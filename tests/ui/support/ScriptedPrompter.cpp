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
        if (call.kind != "input" && call.kind != "open" && call.kind != "save" &&
            call.kind != "folder")
            texts << call.text;
    return texts;
}

void ScriptedPrompter::Record(const Call& call) {
    calls_.append(call);
    if (OnCall)
        OnCall(call);
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
    Record({"info", text, {}});
}

void ScriptedPrompter::Warning(const QString& text) {
    Record({"warning", text, {}});
}

void ScriptedPrompter::Error(const QString& text) {
    Record({"error", text, {}});
}

bool ScriptedPrompter::Confirm(const QString& text) {
    Record({"confirm", text, {}});
    if (OnConfirm)
        OnConfirm(text);
    QString answer;
    return Take(answer) && answer == "yes";
}

Prompter::Answer ScriptedPrompter::YesNoCancel(const QString& text) {
    Record({"yesnocancel", text, {}});
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
    Record({"input", prompt, setup});
    QString answer;
    if (!Take(answer) || answer == "<cancel>")
        return std::nullopt;
    return answer;
}

QString ScriptedPrompter::TakeFile(const FileDialogSetup& setup) {
    QString answer;
    const bool taken = Take(answer);
    if (taken && !answer.isEmpty() && setup.chosenFilter != nullptr)
        *setup.chosenFilter = filter_.isEmpty() ? setup.filter.section('|', 0, 0) : filter_;
    filter_.clear();
    return taken ? answer : QString();
}

QString ScriptedPrompter::OpenFile(const FileDialogSetup& setup) {
    Record({setup.folder ? "folder" : "open", setup.filter, setup});
    return TakeFile(setup);
}

QString ScriptedPrompter::SaveFile(const FileDialogSetup& setup) {
    Record({"save", setup.filter, setup});
    return TakeFile(setup);
}
