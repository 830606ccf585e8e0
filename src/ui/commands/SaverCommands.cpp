#include "ui/commands/SaverCommands.h"

#include "ui/commands/CheckCardCommand.h"
#include "ui/commands/DciCommands.h"
#include "ui/commands/DcmCommands.h"
#include "ui/commands/FolderCommands.h"
#include "ui/commands/HistoryCommands.h"
#include "ui/commands/SaverDrags.h"
#include "ui/commands/TransferCommands.h"
#include "ui/main/CommandContext.h"
#include "ui/widgets/CardListWidget.h"
#include "ui/widgets/CardView.h"

SaverCommands::SaverCommands(CommandContext& ui, QObject* parent) : QObject(parent), ui_(ui) {
    setObjectName("SaverCommands");
    dcm_ = new DcmCommands(ui, this);
    dci_ = new DciCommands(ui, this);
    transfers_ = new TransferCommands(ui, *dci_, this);
    drags_ = new SaverDrags(ui, *transfers_, *dci_, *dcm_, this);
    drags_->Install();
    history_ = new HistoryCommands(ui, this);
    checkCard_ = new CheckCardCommand(ui, this);
    folders_ = new FolderCommands(ui, this);
    Connect();
}

void SaverCommands::Connect() {
    // A double click or Enter in a view.
    for (CardPlace view : kCardPlaces)
        connect(ui_.ViewOf(view).List(), &CardListWidget::Activated, this,
                [this, view] { transfers_->Activate(view); });
}
