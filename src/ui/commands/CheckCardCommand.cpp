#include "ui/commands/CheckCardCommand.h"

#include "ui/commands/AutoRefreshHold.h"
#include "ui/dialogs/CheckCardDialog.h"
#include "ui/main/CardMenus.h"
#include "ui/main/MainWindow.h"

#include <QAction>

CheckCardCommand::CheckCardCommand(MainWindow& window, QObject* parent)
    : QObject(parent), window_(window) {
    setObjectName("CheckCardCommand");
    dialog_ = new CheckCardDialog(window.Prompts(), &window);
    dialog_->SetWaitWindow([this] { window_.ShowWaitWindow(); },
                           [this] { window_.HideWaitWindow(); });
    CardMenus& m = window.Menus();
    connect(m.slot1.checkCard, &QAction::triggered, this, [this] { Run(MainWindow::kSlot1); });
    connect(m.slot2.checkCard, &QAction::triggered, this, [this] { Run(MainWindow::kSlot2); });
    connect(m.file.checkCard, &QAction::triggered, this, [this] { Run(MainWindow::kFile); });
}

void CheckCardCommand::Run(int index) {
    if (window_.LinkBusy() || index < 0 || index > 2 || !window_.Loaded(index))
        return;
    AutoRefreshHold hold(window_, index != MainWindow::kFile);
    MainWindow::LinkWork work(window_);
    const QString names[3] = {"Slot 1", "Slot 2", "File"};
    window_.ShowWaitWindow();
    const bool read = dialog_->Load(window_.Volume(index), names[index]);
    window_.HideWaitWindow();
    if (read) {
        window_.CentreOver(dialog_);
        dialog_->exec();
    }
    // The check read the card's tables afresh, without icons: the view
    // lists the card again.
    window_.Refresh(index);
}
