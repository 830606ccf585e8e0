// Re-reading the cards into their views, formatting, and the settings.
#include "card/CardCheck.h"
#include "card/CardJournal.h"
#include "card/CutChanges.h"
#include "card/ImageLock.h"
#include "card/LoadVolume.h"
#include "link/LinkPort.h"
#include "qtbase/Prompter.h"
#include "settings/ConfigFile.h"
#include "ui/dialogs/SettingsEditor.h"
#include "ui/main/AutoRefresh.h"
#include "ui/main/CardMenus.h"
#include "ui/main/MainWindow.h"
#include "ui/widgets/CardView.h"
#include "ui/widgets/PagePanel.h"

#include <QAction>
#include <QToolButton>

namespace {

constexpr const char* kSlot1LinkError = " link error 1, please check Connection speed in Setup, DC "
                                        "power and cable connection. ";
constexpr const char* kSlot2LinkError = " link error , please check Connection speed in Setup, DC "
                                        "power and cable connection. ";
constexpr const char* kFormatLarge =
    "Delete all saver? (Over 200 blocks is ONLY for Velmor memory card)";

QString FormatQuestion(CardPlace view, int userBlocks) {
    if (userBlocks == 200)
        return view == CardPlace::Slot2 ? "Delete all saver? " : "Delete all saver?";
    if (view == CardPlace::Slot1 && userBlocks == 240)
        return "elete all saver? (Over 200 blocks is ONLY for Velmor memory card)?";
    return kFormatLarge;
}

} // namespace

void MainWindow::ReadPageInfo() {
    session_.ReadPageInfo();
    pagePanel_->ShowSet16M();
}

void MainWindow::RefreshCommand(CardPlace slot) {
    LinkCommand command;
    command.joins = true;
    command.holdAutoRefresh = true;
    runner_.RunLinkCommand(command, [this, slot] {
        ReadPageInfo();
        Refresh(slot);
    });
}

void MainWindow::Refresh(CardPlace view) {
    runner_.Join([this, view] {
        if (view == CardPlace::Slot1)
            RefreshSlot1();
        else if (view == CardPlace::Slot2)
            RefreshSlot2();
        else
            RefreshFile();
    });
}

void MainWindow::RefreshSlot1() {
    LinkPort& link = session_.Link();
    ClearSelection();
    const auto lookForBox = [&] {
        ShowDeviceLayout();
        uint16_t page = 0;
        if (link.GetPage(page)) {
            pagePanel_->ShowPage(page);
            session_.SetShownPage(static_cast<int16_t>(page));
            session_.SetCurrentPage(page);
        }
    };
    lookForBox();
    // A box that went away may have come back: the port is opened anew.
    if (link.LinkFailed && link.Reopen())
        lookForBox();
    if (link.LinkFailed) {
        prompts_.Info(kSlot1LinkError);
        SetStatus("No Device");
        session_.SetLoaded(CardPlace::Slot1, false);
        return;
    }
    if (!session_.CardPresent(CardPlace::Slot1)) {
        prompts_.Info(" no card in slot 1 ");
        session_.SetLoaded(CardPlace::Slot1, false);
        return;
    }
    RefreshListing(CardPlace::Slot1);
}

void MainWindow::RefreshSlot2() {
    LinkPort& link = session_.Link();
    ClearSelection();
    ShowDeviceLayout();
    if (link.LinkFailed && link.Reopen())
        ShowDeviceLayout();
    if (link.LinkFailed) {
        prompts_.Info(kSlot2LinkError);
        SetStatus("No Device");
        session_.SetLoaded(CardPlace::Slot2, false);
        return;
    }
    // The paged card has no second slot.
    if (link.DirectMode)
        return;
    if (!session_.CardPresent(CardPlace::Slot2)) {
        prompts_.Info(" no card in slot 2 ");
        session_.SetLoaded(CardPlace::Slot2, false);
        return;
    }
    RefreshListing(CardPlace::Slot2);
}

void MainWindow::RefreshFile() {
    ClearSelection();
    ShowDeviceLayout();
    RefreshListing(CardPlace::Image);
}

bool MainWindow::RefreshListing(CardPlace view) {
    CardVolume& volume = session_.Volume(view);
    CardView& shown = ViewOf(view);
    LinkPort& link = session_.Link();
    bool loaded = false;
    // A change cut off on this card is put right before it is listed (the
    // user chooses between finishing and taking it back); an image another
    // program holds, or one only read, is left alone.
    std::string why;
    if (volume.Place() != CardPlace::Image ||
        (!volume.Store().ImageReadOnly() && HasCutChange(volume, session_.Journal()) &&
         LockImageForWriting(volume, why))) {
        const SettleOutcome cut = SettleCutChange(volume, session_.Journal());
        if (!cut.message.empty()) {
            if (cut.settled && cut.clean)
                prompts_.Info(QString::fromStdString(cut.message));
            else
                prompts_.Warning(QString::fromStdString(cut.message));
        }
    }
    runner_.JoinWaiting([&] {
        const LoadResult load = LoadVolume(volume, &host_);
        if (load.state == VolumeLoad::Failed)
            return;
        if (load.state == VolumeLoad::NotFormatted) {
            // Loaded all the same, so that the card can be formatted.
            shown.ShowUnformatted();
            shown.ShowProblems(false);
            loaded = true;
            return;
        }
        QString fileError;
        const CardView::Build built =
            shown.BuildIconList(volume, session_.StartDir(), host_, &link, fileError);
        if (built == CardView::Build::FileError) {
            session_.SetLoaded(view, false);
            host_.SetProgress(0, 3);
            prompts_.Error(fileError);
            return;
        }
        if (built == CardView::Build::LinkFailed)
            return;
        shown.FillListView();
        // Garbled icons alone would not tell the user why: the blocks just
        // read say whether the card is damaged.
        CardCheckReport report;
        CheckListedCard(volume, report);
        shown.ShowProblems(report.ProblemCount() > 0);
        loaded = true;
        // The history this card has, for the Undo item's caption.
        session_.Journal().NoteListed(volume);
    });
    session_.SetLoaded(view, loaded);
    // At once rather than at the next state tick.
    EnableCommands(view, loaded);
    host_.SetProgress(0, 3);
    return loaded;
}

void MainWindow::FormatCommand(CardPlace view, int userBlocks) {
    if (session_.LinkBusy() || !session_.Loaded(view))
        return;
    if (!prompts_.Confirm(FormatQuestion(view, userBlocks)))
        return;
    LinkCommand command;
    command.wait = true;
    runner_.RunLinkCommand(command, [this, view, userBlocks] {
        session_.Volume(view).FormatVolume(static_cast<uint8_t>(userBlocks));
        Refresh(view);
    });
}

void MainWindow::RunSettings() {
    if (session_.LinkBusy())
        return;
    autoRefresh_->Stop();
    if (settingsEditor_->Run(session_.Config(), this)) {
        std::string error;
        if (!SaveConfig(session_.StartDir(), session_.Config(), &error)) {
            const QString path = QString::fromStdString(session_.StartDir()) + kConfigFileName;
            prompts_.Warning("The settings could not be saved to " + path + ": " +
                             QString::fromStdString(error));
        }
        // The new port and delays hold from the next command on.
        session_.ApplyConfig();
    }
    autoRefresh_->Rearm();
}
