#include "ui/main/WaitAsidePrompter.h"

#include "ui/dialogs/WaitWindow.h"

void WaitAsidePrompter::Attach(WaitWindow* wait, QWidget* over) {
    wait_ = wait;
    over_ = over;
}

WaitAsidePrompter::Aside::Aside(const WaitAsidePrompter& owner) : owner_(owner) {
    WaitWindow* wait = owner_.wait_;
    wasUp_ = wait != nullptr && wait->isVisible() && !wait->testAttribute(Qt::WA_ShowModal);
    if (wasUp_)
        wait->hide();
}

WaitAsidePrompter::Aside::~Aside() {
    if (wasUp_)
        owner_.wait_->ShowOver(owner_.over_);
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
