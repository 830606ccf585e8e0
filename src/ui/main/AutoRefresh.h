#pragma once

#include "ui/main/LinkCommandRunner.h"

#include <QObject>

class MainWindow;
class QTimer;

// Auto-refresh mode: a tick every 1.5 seconds while the AutoRefresh setting
// is on notices cards inserted into and removed from the slots, re-reads
// them, and follows a change of device.
class AutoRefresh : public QObject, public TickHold {
    Q_OBJECT
  public:
    static constexpr int kRemovalWaitMs = 3800;
    // The tick's pace while no box answers.
    static constexpr int kNoDeviceIntervalMs = 5000;

    AutoRefresh(MainWindow& window, int interval);

    QTimer* Timer() const { return timer_; }
    void Stop();
    // Starts the tick when the setting is on and it is not already running.
    void Rearm();
    void StopTick() override { Stop(); }
    void RearmTick() override { Rearm(); }
    // While no box answers the tick comes every kNoDeviceIntervalMs and only
    // asks once whether one answers now.
    void BackOff(bool noDevice);
    bool BackedOff() const { return backedOff_; }

    // A refresh started by the tick is running.
    bool AutoRefreshBusy = false;
    // The tick's last detection found the two-slot unit.
    bool TwoSlotSeen = false;

  public slots:
    void Tick();

  private:
    // Steps 2 and 3: cards put into the slots are read.
    void SlotsInserted();
    // Steps 4 and 5; true when the tick ends there.
    bool Slot2Removed();
    bool Slot1Removed();
    // True when a box answered either detection; rereadSlot1 when the paged
    // card took the two-slot unit's place.
    bool DetectAndLayOut(bool& rereadSlot1);

    MainWindow& window_;
    QTimer* timer_;
    int interval_;
    bool backedOff_ = false;
};
