// Auto refresh: a tick every 1.5 seconds while the AutoRefresh setting is on
// notices cards inserted into and removed from the slots, re-reads them, and
// follows a change of device. Each of its steps is a request of its own, as
// is a refresh it starts.
#include "card/CardSession.h"
#include "link/LinkPort.h"
#include "ui/main/CardDisplay.h"
#include "ui/main/CardPresenter.h"
#include "ui/main/WindowFeedback.h"

#include <QTimer>
#include <algorithm>

void CardPresenter::StopTick() {
    autoRefreshTimer_->stop();
}

void CardPresenter::RearmTick() {
    if (session_.Config().AutoRefresh == 1 && !autoRefreshTimer_->isActive())
        autoRefreshTimer_->start();
}

void CardPresenter::BackOff(bool noDevice) {
    backedOff_ = noDevice;
    const int interval =
        noDevice ? std::max(autoRefreshInterval_, kNoDeviceIntervalMs) : autoRefreshInterval_;
    if (autoRefreshTimer_->interval() != interval)
        autoRefreshTimer_->setInterval(interval);
}

void CardPresenter::AutoRefreshTick() {
    // Link work under way (or a pause inside it): this tick is skipped; the
    // timer stays on and the next one looks again.
    bool noBox = true;
    if (runner_.Run({.work = [&](CardJob&) { noBox = NoBoxYet(); }}) != RunOutcome::Done || noBox)
        return;
    inTick_ = true;
    SlotsInserted();
    if (!Slot2Removed() && !Slot1Removed()) {
        bool answered = false;
        bool rereadSlot1 = false;
        runner_.Run({.work = [&](CardJob&) { answered = DetectAndLayOut(rereadSlot1); }});
        if (rereadSlot1)
            RefreshCommand(CardPlace::Slot1);
        if (answered)
            ShowDeviceAnswers();
        else
            ShowNoDevice();
        RearmTick();
    }
    inTick_ = false;
    // What the steps' link work left to tell, as at the end of one piece.
    LinkIdle();
}

bool CardPresenter::NoBoxYet() {
    StopTick();
    // No box lately: one command tells whether one answers now; the full
    // tick, with its many commands, waits until it does. The port is opened
    // anew first: a socket box that went away answers only on a new
    // connection.
    LinkPort& link = session_.Link();
    uint16_t page = 0;
    if (backedOff_)
        link.Reopen();
    if (backedOff_ && !link.GetPage(page) && link.LinkFailed) {
        RearmTick();
        return true;
    }
    return false;
}

void CardPresenter::SlotsInserted() {
    // A card put into slot 2, once the tick has seen the two-slot unit.
    bool inserted = false;
    runner_.Run({.work = [&](CardJob&) {
        inserted = !session_.Loaded(CardPlace::Slot2) && session_.CardPresent(CardPlace::Slot2) &&
                   twoSlotSeen_;
    }});
    if (inserted) {
        autoRefreshBusy_ = true;
        RefreshCommand(CardPlace::Slot2);
        autoRefreshBusy_ = false;
        RearmTick();
    }
    // A card put into slot 1, seen twice in a row.
    inserted = false;
    runner_.Run({.work = [&](CardJob&) {
        inserted = !session_.Loaded(CardPlace::Slot1) && session_.CardPresent(CardPlace::Slot1) &&
                   session_.CardPresent(CardPlace::Slot1);
    }});
    if (inserted) {
        autoRefreshBusy_ = true;
        RefreshCommand(CardPlace::Slot1);
        if (!session_.Link().DirectMode)
            SetStatus("   Ambrel");
        autoRefreshBusy_ = false;
        RearmTick();
    }
}

bool CardPresenter::Slot2Removed() {
    bool removed = false;
    CardRequest request;
    request.work = [&](CardJob& job) {
        if (!session_.Loaded(CardPlace::Slot2) || session_.CardPresent(CardPlace::Slot2) ||
            autoRefreshBusy_ || !twoSlotSeen_)
            return;
        removed = true;
        job.WaitWindowUp(true);
        // Wait only when slot 1 is empty too: the user may be swapping cards.
        if (!session_.CardPresent(CardPlace::Slot1))
            Pause(kRemovalWaitMs);
        if (!session_.CardPresent(CardPlace::Slot2))
            session_.SetLoaded(CardPlace::Slot2, false);
    };
    runner_.Run(request);
    if (removed)
        RearmTick();
    return removed;
}

bool CardPresenter::Slot1Removed() {
    bool gone = false;
    CardRequest request;
    request.work = [&](CardJob& job) {
        if (!session_.Loaded(CardPlace::Slot1) || session_.CardPresent(CardPlace::Slot1) ||
            autoRefreshBusy_)
            return;
        gone = true;
        if (!session_.Link().DetectDevice()) {
            session_.SetLoaded(CardPlace::Slot1, false);
            return;
        }
        job.WaitWindowUp(true);
        if (!session_.CardPresent(CardPlace::Slot2))
            Pause(kRemovalWaitMs);
        job.WaitWindowUp(false);
        // Back within the wait: the tick goes on.
        gone = !session_.CardPresent(CardPlace::Slot1);
        if (gone)
            session_.SetLoaded(CardPlace::Slot1, false);
    };
    runner_.Run(request);
    if (gone)
        RearmTick();
    return gone;
}

bool CardPresenter::DetectAndLayOut(bool& rereadSlot1) {
    LinkPort& link = session_.Link();
    bool answered = false;
    if (link.DetectDevice()) {
        answered = true;
        if (link.DirectMode) {
            twoSlotSeen_ = false;
            SetStatus("    TORIN " + PageSizeSuffix(session_.HighestPage()));
        } else {
            if (display_.ActivateChecked())
                session_.Config().AutoRefresh = 1;
            SetStatus("    Ambrel");
            twoSlotSeen_ = true;
        }
    }
    if (link.DetectDevice()) {
        answered = true;
        if (link.DirectMode && twoSlotSeen_) {
            ShowDeviceLayout();
            rereadSlot1 = true;
        } else if (!link.DirectMode && !twoSlotSeen_) {
            if (display_.ActivateChecked())
                session_.Config().AutoRefresh = 1;
            ShowDeviceLayout();
        }
    }
    return answered;
}
