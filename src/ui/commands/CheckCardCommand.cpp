#include "ui/commands/CheckCardCommand.h"

#include "card/CardSession.h"
#include "ui/dialogs/CheckCardDialog.h"
#include "ui/main/CardMenus.h"
#include "ui/main/CommandUi.h"
#include "ui/main/LinkCommandRunner.h"

#include <QAction>

CheckCardCommand::CheckCardCommand(CommandUi& ui, QObject* parent) : QObject(parent), ui_(ui) {
    setObjectName("CheckCardCommand");
    dialog_ = new CheckCardDialog(ui.Prompts(), &ui.Window());
    LinkCommandRunner& runner = ui.Runner();
    dialog_->SetWaitWindow([&runner] { runner.ShowWait(); }, [&runner] { runner.HideWait(); });
    CardMenus& m = ui.Menus();
    connect(m.slot1.checkCard, &QAction::triggered, this, [this] { Run(View::Slot1); });
    connect(m.slot2.checkCard, &QAction::triggered, this, [this] { Run(View::Slot2); });
    connect(m.file.checkCard, &QAction::triggered, this, [this] { Run(View::File); });
}

void CheckCardCommand::Run(View view) {
    if (!ui_.Session().Loaded(view))
        return;
    LinkCommand command;
    command.holdAutoRefresh = IsSlot(view);
    ui_.Runner().RunLinkCommand(command, [this, view] {
        const QString names[3] = {"Slot 1", "Slot 2", "File"};
        bool read = false;
        ui_.Runner().JoinWaiting(
            [&] { read = dialog_->Load(ui_.Session().Volume(view), names[ViewIndex(view)]); });
        if (read) {
            ui_.CentreOver(dialog_);
            dialog_->exec();
        }
        // The check read the card's tables afresh, without icons: the view
        // lists the card again.
        ui_.Refresh(view);
    });
}
