#include "ui/commands/SaverCommands.h"

#include "ui/commands/CheckCardCommand.h"
#include "ui/commands/DciCommands.h"
#include "ui/commands/DcmCommands.h"
#include "ui/commands/FolderCommands.h"
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
    folders_ = new FolderCommands(window, this);
    Connect();
}

void SaverCommands::Connect() {
    CardMenus& m = window_.Menus();
    const auto on = [this](QAction* action, auto run) {
        connect(action, &QAction::triggered, this, run);
    };
    on(m.slot1.uploadDcm, [this] { dcm_->Upload(CardPlace::Slot1); });
    on(m.slot2.uploadDcm, [this] { dcm_->Upload(CardPlace::Slot2); });
    on(m.slot1.saveAsDcm, [this] { dcm_->SaveAs(CardPlace::Slot1); });
    on(m.slot2.saveAsDcm, [this] { dcm_->SaveAs(CardPlace::Slot2); });
    on(m.file.saveAsDcm, [this] { dcm_->SaveAs(CardPlace::Image); });
    on(m.file.newDcm, [this] { dcm_->New(); });
    on(m.file.openDcm, [this] { dcm_->Open(); });
    on(m.file.closeDcm, [this] { dcm_->Close(); });
    on(m.slot1.importDci, [this] { dci_->Import(CardPlace::Slot1); });
    on(m.slot2.importDci, [this] { dci_->Import(CardPlace::Slot2); });
    on(m.file.importDci, [this] { dci_->Import(CardPlace::Image); });
    for (CardPlace view : kCardPlaces)
        on(m.DeleteSelected(view), [this, view] { transfers_->DeleteSelected(view); });

    connect(window_.ViewOf(CardPlace::Slot1).DcmButton(), &QToolButton::clicked, this,
            [this] { dcm_->Upload(CardPlace::Slot1); });
    connect(window_.ViewOf(CardPlace::Slot2).DcmButton(), &QToolButton::clicked, this,
            [this] { dcm_->Upload(CardPlace::Slot2); });
    connect(window_.ViewOf(CardPlace::Image).DcmButton(), &QToolButton::clicked, this,
            [this] { dcm_->Open(); });
    for (CardPlace view : kCardPlaces)
        connect(window_.ViewOf(view).DciButton(), &QToolButton::clicked, this,
                [this, view] { dci_->Import(view); });
    connect(&window_, &MainWindow::SaverActivated, this,
            [this](CardPlace view) { transfers_->Activate(view); });
}

SaverCommands* AttachSaverCommands(MainWindow& window) {
    return new SaverCommands(window);
}
