#include "ui/commands/SaverCommands.h"

#include "ui/commands/CheckCardCommand.h"
#include "ui/commands/DciCommands.h"
#include "ui/commands/DcmCommands.h"
#include "ui/commands/HistoryCommands.h"
#include "ui/commands/SaverDrags.h"
#include "ui/commands/TransferCommands.h"
#include "ui/main/CardMenus.h"
#include "ui/main/MainWindow.h"
#include "ui/widgets/CardView.h"

#include <QAction>
#include <QToolButton>

SaverCommands::SaverCommands(MainWindow& window) : QObject(&window), window_(window) {
    setObjectName("SaverCommands");
    dcm_ = new DcmCommands(window, this);
    dci_ = new DciCommands(window, this);
    transfers_ = new TransferCommands(window, *dci_, this);
    drags_ = new SaverDrags(window, *transfers_, *dci_, *dcm_, this);
    drags_->Install();
    history_ = new HistoryCommands(window, this);
    new CheckCardCommand(window, this);
    Connect();
}

void SaverCommands::Connect() {
    CardMenus& m = window_.Menus();
    const auto on = [this](QAction* action, auto run) {
        connect(action, &QAction::triggered, this, run);
    };
    on(m.slot1.uploadDcm, [this] { dcm_->Upload(MainWindow::kSlot1); });
    on(m.slot2.uploadDcm, [this] { dcm_->Upload(MainWindow::kSlot2); });
    on(m.slot1.saveAsDcm, [this] { dcm_->SaveAs(MainWindow::kSlot1); });
    on(m.slot2.saveAsDcm, [this] { dcm_->SaveAs(MainWindow::kSlot2); });
    on(m.file.saveAsDcm, [this] { dcm_->SaveAs(MainWindow::kFile); });
    on(m.file.newDcm, [this] { dcm_->New(); });
    on(m.file.openDcm, [this] { dcm_->Open(); });
    on(m.file.closeDcm, [this] { dcm_->Close(); });
    on(m.slot1.importDci, [this] { dci_->Import(MainWindow::kSlot1); });
    on(m.slot2.importDci, [this] { dci_->Import(MainWindow::kSlot2); });
    on(m.file.importDci, [this] { dci_->Import(MainWindow::kFile); });
    for (int i = 0; i < 3; ++i)
        on(m.DeleteSelected(i), [this, i] { transfers_->DeleteSelected(i); });

    connect(window_.View(MainWindow::kSlot1).DcmButton(), &QToolButton::clicked, this,
            [this] { dcm_->Upload(MainWindow::kSlot1); });
    connect(window_.View(MainWindow::kSlot2).DcmButton(), &QToolButton::clicked, this,
            [this] { dcm_->Upload(MainWindow::kSlot2); });
    connect(window_.View(MainWindow::kFile).DcmButton(), &QToolButton::clicked, this,
            [this] { dcm_->Open(); });
    for (int i = 0; i < 3; ++i)
        connect(window_.View(i).DciButton(), &QToolButton::clicked, this,
                [this, i] { dci_->Import(i); });
    connect(&window_, &MainWindow::SaverActivated, this,
            [this](int index) { transfers_->Activate(index); });
}

SaverCommands* AttachSaverCommands(MainWindow& window) {
    return new SaverCommands(window);
}
