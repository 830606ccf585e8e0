// Device detection and the layouts, re-reading the cards into their views,
// and formatting.
#include "card/CardCheck.h"
#include "card/CardJournal.h"
#include "card/CardSession.h"
#include "card/CutChanges.h"
#include "card/ImageLock.h"
#include "card/LoadVolume.h"
#include "link/LinkPort.h"
#include "qtbase/Prompter.h"
#include "ui/main/CardDisplay.h"
#include "ui/main/CardPresenter.h"
#include "ui/main/WindowFeedback.h"
#include "ui/widgets/CardView.h"
#include "ui/widgets/PagePanel.h"

#include <QTimer>

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

// --- Device ------------------------------------------------------------------------

void CardPresenter::ShowNoDevice() {
    SetStatus(LinkPort::kNoDeviceText);
    display_.ShowNoDeviceHint(true);
    BackOff(true);
}

void CardPresenter::ShowDeviceAnswers() {
    display_.ShowNoDeviceHint(false);
    BackOff(false);
}

void CardPresenter::ShowTwoSlotLayout(bool fromDetection) {
    SetStatus("Ambrel");
    if (fromDetection)
        session_.SetHighestPage(0);
    display_.ShowTwoSlotLayout(fromDetection);
    if (fromDetection)
        stateTimer_->start();
}

void CardPresenter::ShowPagedLayout() {
    display_.ShowPagedLayout();
}

void CardPresenter::ShowDeviceLayout() {
    LinkPort& link = session_.Link();
    if (!link.DetectDevice()) {
        RepaintNow();
        return;
    }
    ShowDeviceAnswers();
    if (link.DirectMode) {
        SetStatus("TORIN " + PageSizeSuffix(session_.HighestPage()));
        ShowPagedLayout();
    } else {
        ShowTwoSlotLayout(false);
    }
    RepaintNow();
}

void CardPresenter::DetectDeviceTick() {
    CardRequest request;
    request.work = [this](CardJob&) {
        DetectDevice();
        detectTimer_->stop();
    };
    // Link work holds the wire: look again shortly.
    if (runner_.Run(request) == RunOutcome::Busy)
        detectTimer_->start();
}

void CardPresenter::DetectDevice() {
    LinkPort& link = session_.Link();
    uint16_t page = 0;
    const auto detect = [&] {
        if (!link.GetPage(page) || page >= 64)
            page = 0;
        return link.DetectDevice();
    };
    // A port that failed before (a socket box that went away) is opened
    // anew before the box counts as missing.
    if (!detect() && !(link.Reopen() && detect())) {
        ShowNoDevice();
        return;
    }
    ShowDeviceAnswers();
    if (!link.DirectMode) {
        if (display_.ActivateChecked())
            session_.Config().AutoRefresh = 1;
        ShowTwoSlotLayout(true);
        return;
    }
    session_.SetCurrentPage(255);
    link.SetPage(255);
    uint16_t highest = 0;
    if (link.GetPage(highest))
        session_.SetHighestPage(highest);
    link.SetPage(page);
    session_.SetCurrentPage(page);
    PagePanel& pages = display_.Pages();
    pages.ShowPage(page);
    SetStatus("TORIN " + PageSizeSuffix(session_.HighestPage()));
    pages.ShowSet16M(session_.HighestPage() >= 15);
    ShowPagedLayout();
}

// --- Refresh -------------------------------------------------------------------------

void CardPresenter::ReadPageInfo() {
    session_.ReadPageInfo();
    display_.Pages().ShowSet16M(session_.HighestPage() >= 15);
}

RunOutcome CardPresenter::RefreshCommand(CardPlace slot) {
    CardRequest request{.holdTick = true, .wait = true};
    request.work = [this, slot](CardJob&) {
        ReadPageInfo();
        Refresh(slot);
    };
    return runner_.Run(request);
}

RunOutcome CardPresenter::ReadAgain(CardPlace view) {
    return runner_.Run({.wait = true, .work = [view](CardJob& job) { job.Refresh(view); }});
}

void CardPresenter::Refresh(CardPlace view) {
    if (view == CardPlace::Slot1)
        RefreshSlot1();
    else if (view == CardPlace::Slot2)
        RefreshSlot2();
    else
        RefreshFile();
}

void CardPresenter::RefreshSlot1() {
    LinkPort& link = session_.Link();
    ClearSelection();
    const auto lookForBox = [&] {
        ShowDeviceLayout();
        uint16_t page = 0;
        if (link.GetPage(page)) {
            display_.Pages().ShowPage(page);
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

void CardPresenter::RefreshSlot2() {
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

void CardPresenter::RefreshFile() {
    ClearSelection();
    ShowDeviceLayout();
    RefreshListing(CardPlace::Image);
}

bool CardPresenter::RefreshListing(CardPlace view) {
    CardVolume& volume = session_.Volume(view);
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
    const bool loaded = ListVolume(view);
    session_.SetLoaded(view, loaded);
    // At once rather than at the next state tick.
    EnableCommands(view, loaded);
    host_.SetProgress(0, 3);
    return loaded;
}

bool CardPresenter::ListVolume(CardPlace view) {
    CardVolume& volume = session_.Volume(view);
    CardView& shown = ViewOf(view);
    const LoadResult load = LoadVolume(volume, &host_);
    if (load.state == VolumeLoad::Failed)
        return false;
    if (load.state == VolumeLoad::NotFormatted) {
        // Loaded all the same, so that the card can be formatted.
        shown.ShowUnformatted();
        shown.ShowProblems(false);
        return true;
    }
    QString fileError;
    const CardView::Build built =
        shown.BuildIconList(volume, session_.StartDir(), host_, &session_.Link(), fileError);
    if (built == CardView::Build::FileError) {
        session_.SetLoaded(view, false);
        host_.SetProgress(0, 3);
        prompts_.Error(fileError);
        return false;
    }
    if (built == CardView::Build::LinkFailed)
        return false;
    shown.FillListView();
    // Garbled icons alone would not tell the user why: the blocks just read
    // say whether the card is damaged.
    CardCheckReport report;
    CheckListedCard(volume, report);
    shown.ShowProblems(report.ProblemCount() > 0);
    // The history this card has, for the Undo item's caption.
    session_.Journal().NoteListed(volume);
    return true;
}

void CardPresenter::FormatCommand(CardPlace view, int userBlocks) {
    CardRequest request{.wait = true};
    request.ask = [&] {
        return session_.Loaded(view) && prompts_.Confirm(FormatQuestion(view, userBlocks));
    };
    request.work = [&](CardJob& job) {
        session_.Volume(view).FormatVolume(static_cast<uint8_t>(userBlocks));
        job.Refresh(view);
    };
    runner_.Run(request);
}
