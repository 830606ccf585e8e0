#include "ui/main/WaitAsidePrompter.h"

#include "ui/main/WaitShow.h"

WaitAsidePrompter::Aside::Aside(const WaitAsidePrompter& owner) : owner_(owner) {
    WaitShow* wait = owner_.wait_;
    wasUp_ = wait != nullptr && wait->Up();
    if (wasUp_)
        wait->Hide();
}

WaitAsidePrompter::Aside::~Aside() {
    if (wasUp_)
        owner_.wait_->Show();
}

void WaitAsidePrompter::Info(const QString& text) {
    const Aside aside(*this);
    inner_.Info(text);
}

void WaitAsidePrompter::Warning(const QString& text) {
    const Aside aside(*this);
    inner_.Warning(text);
}

void WaitAsidePrompter::Error(const QString& text) {
    const Aside aside(*this);
    inner_.Error(text);
}

bool WaitAsidePrompter::Confirm(const QString& text) {
    const Aside aside(*this);
    return inner_.Confirm(text);
}

Prompter::Answer WaitAsidePrompter::YesNoCancel(const QString& text) {
    const Aside aside(*this);
    return inner_.YesNoCancel(text);
}

std::optional<QString> WaitAsidePrompter::Input(const QString& title, const QString& prompt,
                                                const QString& initial) {
    const Aside aside(*this);
    return inner_.Input(title, prompt, initial);
}

QString WaitAsidePrompter::OpenFile(const FileDialogSetup& setup) {
    const Aside aside(*this);
    return inner_.OpenFile(setup);
}

QString WaitAsidePrompter::SaveFile(const FileDialogSetup& setup) {
    const Aside aside(*this);
    return inner_.SaveFile(setup);
}
