#include "ui/main/WaitWindowShow.h"

#include "ui/dialogs/WaitWindow.h"

void WaitWindowShow::Show() {
    wait_.ShowOver(&over_);
}

void WaitWindowShow::Hide() {
    wait_.hide();
}

bool WaitWindowShow::Up() const {
    return wait_.isVisible() && !wait_.testAttribute(Qt::WA_ShowModal);
}

void WaitWindowShow::RunUntilItCloses() {
    wait_.RunModalFor(&over_);
}
