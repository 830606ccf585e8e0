#include "ui/commands/CheckCardCommand.h"

#include "card/CardSession.h"
#include "ui/dialogs/CheckCardDialog.h"
#include "ui/main/CommandContext.h"
#include "ui/main/LinkCommandRunner.h"

CheckCardCommand::CheckCardCommand(CommandContext& ui, QObject* parent) : QObject(parent), ui_(ui) {
    setObjectName("CheckCardCommand");
    dialog_ = new CheckCardDialog(ui.Prompts(), &ui.Window());
    LinkCommandRunner& runner = ui.Runner();
    // The window's reads and repairs are requests of their own.
    dialog_->SetLinkWork([&runner](const std::function<void()>& work) {
        runner.Run({.wait = true, .work = [&work](CardJob&) { work(); }});
    });
}

void CheckCardCommand::Run(CardPlace view) {
    if (!ui_.Session().Loaded(view))
        return;
    // The visit holds the auto-refresh tick, not the link: the card (and the
    // image file's lock) is taken only while the dialog reads or repairs.
    CardRequest request{.holdTick = IsSlot(view), .linkWork = false};
    request.work = [this, view](CardJob& job) {
        const QString names[3] = {"Slot 1", "Slot 2", "File"};
        if (dialog_->Load(ui_.Session().Volume(view), names[PlaceIndex(view)])) {
            ui_.CentreOver(dialog_);
            dialog_->exec();
        }
        // The check read the card's tables afresh, without icons: the view
        // lists the card again.
        job.Refresh(view);
    };
    ui_.Runner().Run(request);
}
