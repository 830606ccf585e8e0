#include "ui/main/AutoRefresh.h"

#include "link/LinkPort.h"
#include "ui/main/MainWindow.h"

#include <QTimer>
#include <algorithm>

AutoRefresh::AutoRefresh(MainWindow& window, int interval)
    : QObject(&window), window_(window), interval_(interval) {
    timer_ = new QTimer(this);
    timer_->setObjectName("AutoRefreshTimer");
    timer_->setInterval(interval);
    connect(timer_, &QTimer::timeout, this, &AutoRefresh::Tick);
}

void AutoRefresh::Stop() {
    timer_->stop();
}

void AutoRefresh::Rearm() {
    if (window_.Session().Config().AutoRefresh == 1 && !timer_->isActive())
        timer_->start();
}

void AutoRefresh::BackOff(bool noDevice) {
    backedOff_ = noDevice;
    const int interval = noDevice ? std::max(interval_, kNoDeviceIntervalMs) : interval_;
    if (timer_->interval() != interval)
        timer_->setInterval(interval);
}

void AutoRefresh::Tick() {
    // Each step is a request of its own: a refresh it starts is one too.
    // Link work under way (or a pause inside it): this tick is skipped; the
    // timer stays on and the next one looks again.
    bool ends = true;
    if (window_.Runner().Run({.work =
                                  [&](CardJob&) {
                                      Stop();
                                      LinkPort& link = window_.Session().Link();
                                      // No box lately: one command tells whether one answers now;
                                      // the full tick, with its many commands, waits until it does.
                                      // The port is opened anew first: a socket box that went away
                                      // answers only on a new connection.
                                      uint16_t page = 0;
                                      if (backedOff_)
                                          link.Reopen();
                                      if (backedOff_ && !link.GetPage(page) && link.LinkFailed) {
                                          Rearm();
                                          return;
                                      }
                                      ends = false;
                                  }}) != RunOutcome::Done ||
        ends)
        return;
    SlotsInserted();
    if (Slot2Removed() || Slot1Removed())
        return;
    bool answered = false;
    bool rereadSlot1 = false;
    window_.Runner().Run({.work = [&](CardJob&) { answered = DetectAndLayOut(rereadSlot1); }});
    if (rereadSlot1)
        window_.RefreshCommand(View::Slot1);
    if (answered)
        window_.ShowDeviceAnswers();
    else
        window_.ShowNoDevice();
    Rearm();
}

void AutoRefresh::SlotsInserted() {
    CardSession& session = window_.Session();
    LinkCommandRunner& runner = window_.Runner();
    // A card put into slot 2, once the tick has seen the two-slot unit.
    bool inserted = false;
    runner.Run({.work = [&](CardJob&) {
        inserted = !session.Loaded(View::Slot2) && session.CardPresent(View::Slot2) && TwoSlotSeen;
    }});
    if (inserted) {
        AutoRefreshBusy = true;
        window_.RefreshCommand(View::Slot2);
        AutoRefreshBusy = false;
        Rearm();
    }
    // A card put into slot 1, seen twice in a row.
    inserted = false;
    runner.Run({.work = [&](CardJob&) {
        inserted = !session.Loaded(View::Slot1) && session.CardPresent(View::Slot1) &&
                   session.CardPresent(View::Slot1);
    }});
    if (inserted) {
        AutoRefreshBusy = true;
        window_.RefreshCommand(View::Slot1);
        if (!session.Link().DirectMode)
            window_.SetStatus("   Ambrel");
        AutoRefreshBusy = false;
        Rearm();
    }
}

bool AutoRefresh::Slot2Removed() {
    CardSession& session = window_.Session();
    bool removed = false;
    window_.Runner().Run({.work = [&](CardJob& job) {
        if (!session.Loaded(View::Slot2) || session.CardPresent(View::Slot2) || AutoRefreshBusy ||
            !TwoSlotSeen)
            return;
        removed = true;
        job.WaitWindowUp(true);
        // Wait only when slot 1 is empty too: the user may be swapping cards.
        if (!session.CardPresent(View::Slot1))
            window_.Pause(kRemovalWaitMs);
        if (!session.CardPresent(View::Slot2))
            session.SetLoaded(View::Slot2, false);
    }});
    if (removed)
        Rearm();
    return removed;
}

bool AutoRefresh::Slot1Removed() {
    CardSession& session = window_.Session();
    bool ends = false;
    window_.Runner().Run({.work = [&](CardJob& job) {
        if (!session.Loaded(View::Slot1) || session.CardPresent(View::Slot1) || AutoRefreshBusy)
            return;
        ends = true;
        if (!session.Link().DetectDevice()) {
            session.SetLoaded(View::Slot1, false);
            return;
        }
        job.WaitWindowUp(true);
        if (!session.CardPresent(View::Slot2))
            window_.Pause(kRemovalWaitMs);
        job.WaitWindowUp(false);
        if (!session.CardPresent(View::Slot1))
            session.SetLoaded(View::Slot1, false);
        else
            ends = false;
    }});
    if (ends)
        Rearm();
    return ends;
}

bool AutoRefresh::DetectAndLayOut(bool& rereadSlot1) {
    CardSession& session = window_.Session();
    LinkPort& link = session.Link();
    bool answered = false;
    if (link.DetectDevice()) {
        answered = true;
        if (link.DirectMode) {
            TwoSlotSeen = false;
            window_.SetStatus("    TORIN " + MainWindow::PageSizeSuffix(session.HighestPage));
        } else {
            if (window_.ActivateChecked())
                session.Config().AutoRefresh = 1;
            window_.SetStatus("    Ambrel");
            TwoSlotSeen = true;
        }
    }
    if (link.DetectDevice()) {
        answered = true;
        if (link.DirectMode && TwoSlotSeen) {
            window_.ShowDeviceLayout();
            rereadSlot1 = true;
        } else if (!link.DirectMode && !TwoSlotSeen) {
            if (window_.ActivateChecked())
                session.Config().AutoRefresh = 1;
            window_.ShowDeviceLayout();
        }
    }
    return answered;
}
