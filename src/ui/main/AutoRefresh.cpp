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
    // Link work under way (or a pause inside it): this tick is skipped; the
    // timer stays on and the next one looks again.
    window_.Runner().RunLinkCommand({}, [this] { TickWork(); });
}

void AutoRefresh::TickWork() {
    CardSession& session = window_.Session();
    LinkPort& link = session.Link();
    Stop();

    // No box lately: one command tells whether one answers now; the full
    // tick, with its many commands, waits until it does.
    // The port is opened anew first: a socket box that went away answers
    // only on a new connection.
    uint16_t page = 0;
    if (backedOff_)
        link.Reopen();
    if (backedOff_ && !link.GetPage(page) && link.LinkFailed) {
        Rearm();
        return;
    }

    // A card put into slot 2, once the tick has seen the two-slot unit.
    if (!session.Loaded(CardPlace::Slot2) && session.CardPresent(CardPlace::Slot2) && TwoSlotSeen) {
        AutoRefreshBusy = true;
        window_.RefreshCommand(CardPlace::Slot2);
        AutoRefreshBusy = false;
        Rearm();
    }
    // A card put into slot 1, seen twice in a row.
    if (!session.Loaded(CardPlace::Slot1) && session.CardPresent(CardPlace::Slot1) &&
        session.CardPresent(CardPlace::Slot1)) {
        AutoRefreshBusy = true;
        window_.RefreshCommand(CardPlace::Slot1);
        if (!link.DirectMode)
            window_.SetStatus("   Ambrel");
        AutoRefreshBusy = false;
        Rearm();
    }
    if (Slot2Removed())
        return;
    bool slot1Checked = false;
    if (Slot1Removed(slot1Checked))
        return;
    if (!slot1Checked)
        window_.Runner().HideWait();
    if (DetectAndLayOut())
        window_.ShowDeviceAnswers();
    else
        window_.ShowNoDevice();
    Rearm();
}

bool AutoRefresh::Slot2Removed() {
    CardSession& session = window_.Session();
    if (!session.Loaded(CardPlace::Slot2) || session.CardPresent(CardPlace::Slot2) ||
        AutoRefreshBusy || !TwoSlotSeen)
        return false;
    window_.Runner().JoinWaiting([this, &session] {
        // Wait only when slot 1 is empty too: the user may be swapping cards.
        if (!session.CardPresent(CardPlace::Slot1))
            window_.Pause(kRemovalWaitMs);
        if (!session.CardPresent(CardPlace::Slot2))
            session.SetLoaded(CardPlace::Slot2, false);
    });
    Rearm();
    return true;
}

bool AutoRefresh::Slot1Removed(bool& applied) {
    CardSession& session = window_.Session();
    applied = false;
    if (!session.Loaded(CardPlace::Slot1) || session.CardPresent(CardPlace::Slot1) ||
        AutoRefreshBusy)
        return false;
    applied = true;
    if (!session.Link().DetectDevice()) {
        session.SetLoaded(CardPlace::Slot1, false);
        window_.Runner().HideWait();
        Rearm();
        return true;
    }
    window_.Runner().JoinWaiting([this, &session] {
        if (!session.CardPresent(CardPlace::Slot2))
            window_.Pause(kRemovalWaitMs);
    });
    if (!session.CardPresent(CardPlace::Slot1)) {
        session.SetLoaded(CardPlace::Slot1, false);
        Rearm();
        return true;
    }
    return false;
}

bool AutoRefresh::DetectAndLayOut() {
    CardSession& session = window_.Session();
    LinkPort& link = session.Link();
    bool answered = false;
    if (link.DetectDevice()) {
        answered = true;
        if (link.DirectMode) {
            TwoSlotSeen = false;
            window_.SetStatus("    TORIN " + MainWindow::PageSizeSuffix(session.HighestPage()));
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
            window_.RefreshCommand(CardPlace::Slot1);
        } else if (!link.DirectMode && !TwoSlotSeen) {
            if (window_.ActivateChecked())
                session.Config().AutoRefresh = 1;
            window_.ShowDeviceLayout();
        }
    }
    return answered;
}
