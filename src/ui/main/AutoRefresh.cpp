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
    if (window_.Config().AutoRefresh == 1 && !timer_->isActive())
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
    if (window_.LinkBusy())
        return;
    MainWindow::LinkWork work(window_);
    Stop();

    // No box lately: one command tells whether one answers now; the full
    // tick, with its many commands, waits until it does.
    uint16_t page = 0;
    if (backedOff_ && !window_.Link().GetPage(page) && window_.Link().LinkFailed) {
        Rearm();
        return;
    }

    // A card put into slot 2, once the tick has seen the two-slot unit.
    if (!window_.Loaded(MainWindow::kSlot2) && window_.CardPresent(1) && TwoSlotSeen) {
        AutoRefreshBusy = true;
        window_.RefreshSlot2Command();
        AutoRefreshBusy = false;
        Rearm();
    }
    // A card put into slot 1, seen twice in a row.
    if (!window_.Loaded(MainWindow::kSlot1) && window_.CardPresent(0) && window_.CardPresent(0)) {
        AutoRefreshBusy = true;
        window_.RefreshSlot1Command();
        if (!window_.Link().DirectMode)
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
        window_.HideWaitWindow();
    if (DetectAndLayOut())
        window_.ShowDeviceAnswers();
    else
        window_.ShowNoDevice();
    Rearm();
}

bool AutoRefresh::Slot2Removed() {
    if (!window_.Loaded(MainWindow::kSlot2) || window_.CardPresent(1) || AutoRefreshBusy ||
        !TwoSlotSeen)
        return false;
    window_.ShowWaitWindow();
    // Wait only when slot 1 is empty too: the user may be swapping cards.
    if (!window_.CardPresent(0))
        window_.Pause(kRemovalWaitMs);
    if (!window_.CardPresent(1))
        window_.SetLoaded(MainWindow::kSlot2, false);
    window_.HideWaitWindow();
    Rearm();
    return true;
}

bool AutoRefresh::Slot1Removed(bool& applied) {
    applied = false;
    if (!window_.Loaded(MainWindow::kSlot1) || window_.CardPresent(0) || AutoRefreshBusy)
        return false;
    applied = true;
    if (!window_.Link().DetectDevice()) {
        window_.SetLoaded(MainWindow::kSlot1, false);
        window_.HideWaitWindow();
        Rearm();
        return true;
    }
    window_.ShowWaitWindow();
    if (!window_.CardPresent(1))
        window_.Pause(kRemovalWaitMs);
    window_.HideWaitWindow();
    if (!window_.CardPresent(0)) {
        window_.SetLoaded(MainWindow::kSlot1, false);
        Rearm();
        return true;
    }
    return false;
}

bool AutoRefresh::DetectAndLayOut() {
    LinkPort& link = window_.Link();
    bool answered = false;
    if (link.DetectDevice()) {
        answered = true;
        if (link.DirectMode) {
            TwoSlotSeen = false;
            window_.SetStatus("    TORIN " + MainWindow::PageSizeSuffix(window_.HighestPage));
        } else {
            if (window_.ActivateChecked())
                window_.Config().AutoRefresh = 1;
            window_.SetStatus("    Ambrel");
            TwoSlotSeen = true;
        }
    }
    if (link.DetectDevice()) {
        answered = true;
        if (link.DirectMode && TwoSlotSeen) {
            window_.ShowDeviceLayout();
            window_.RefreshSlot1Command();
        } else if (!link.DirectMode && !TwoSlotSeen) {
            if (window_.ActivateChecked())
                window_.Config().AutoRefresh = 1;
            window_.ShowDeviceLayout();
        }
    }
    return answered;
}
