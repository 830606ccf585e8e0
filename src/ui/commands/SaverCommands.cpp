#include "ui/commands/SaverCommands.h"

#include "ui/commands/CheckCardCommand.h"
#include "ui/commands/DciCommands.h"
#include "ui/commands/DcmCommands.h"
#include "ui/commands/FolderCommands.h"
#include "ui/commands/HistoryCommands.h"
#include "ui/commands/SaverDrags.h"
#include "ui/commands/TransferCommands.h"
#include "ui/main/CardMenus.h"
#include "ui/main/CommandUi.h"
#include "ui/widgets/CardListWidget.h"
#include "ui/widgets/CardView.h"

#include <QAction>
#include <QToolButton>

SaverCommands::SaverCommands(CommandUi& ui, QObject* parent) : QObject(parent), ui_(ui) {
    setObjectName("SaverCommands");
    dcm_ = new DcmCommands(ui, this);
    dci_ = new DciCommands(ui, this);
    transfers_ = new TransferCommands(ui, *dci_, this);
    drags_ = new SaverDrags(ui, *transfers_, *dci_, *dcm_, this);
    drags_->Install();
    history_ = new HistoryCommands(ui, this);
    new CheckCardCommand(ui, this);
    folders_ = new FolderCommands(ui, this);
    Connect();
}

void SaverCommands::Connect() {
    CardMenus& m = ui_.Menus();
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

    connect(ui_.ViewOf(CardPlace::Slot1).DcmButton(), &QToolButton::clicked, this,
            [this] { dcm_->Upload(CardPlace::Slot1); });
    connect(ui_.ViewOf(CardPlace::Slot2).DcmButton(), &QToolButton::clicked, this,
            [this] { dcm_->Upload(CardPlace::Slot2); });
    connect(ui_.ViewOf(CardPlace::Image).DcmButton(), &QToolButton::clicked, this,
            [this] { dcm_->Open(); });
    for (CardPlace view : kCardPlaces)
        connect(ui_.ViewOf(view).DciButton(), &QToolButton::clicked, this,
                [this, view] { dci_->Import(view); });
    // A double click or Enter in a view.
    for (CardPlace view : kCardPlaces)
        connect(ui_.ViewOf(view).List(), &CardListWidget::Activated, this,
                [this, view] { transfers_->Activate(view); });
}
