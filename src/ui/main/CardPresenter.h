#pragma once

#include "ui/main/CommandContext.h"
#include "ui/main/LinkCommandRunner.h"

#include <QObject>
#include <QString>
#include <cstdint>
#include <set>
#include <string>

class CardDisplay;
class ImageWatch;
class QTimer;
class UiClock;
class WindowFeedback;

// The ticks of the main window and their intervals.
struct PresenterTicks {
    int state = 800;        // colours, animation and command enabling
    int detect = 1000;      // device detection once after start
    int autoRefresh = 1500; // cards inserted and removed, while the setting is on
};

// The cards' life cycle in the window: device detection and the two
// layouts, the state tick, auto refresh (cards put in and pulled out), the
// refreshes of the three views, the selection display, and the pages of the
// paged card. It drives the window through CardDisplay and runs every piece
// of card work through the runner; the commands see it as their CommandContext.
class CardPresenter : public QObject, public CommandContext, public TickHold {
    Q_OBJECT
  public:
    static constexpr int kRemovalWaitMs = 3800;
    // The auto-refresh tick's pace while no box answers.
    static constexpr int kNoDeviceIntervalMs = 5000;

    CardPresenter(CardSession& session, LinkCommandRunner& runner, Prompter& prompts,
                  WindowFeedback& host, UiClock& clock, CardDisplay& display,
                  const PresenterTicks& ticks, QObject* parent);
    ~CardPresenter() override;

    // The timers start; a second later the device is looked for.
    void Start();
    // The timers stop (the window closes).
    void Stop();

    // --- CommandContext ---------------------------------------------------------------
    CardSession& Session() override { return session_; }
    LinkCommandRunner& Runner() override { return runner_; }
    Prompter& Prompts() override { return prompts_; }
    CardFeedback& Feedback() override;
    CardView& ViewOf(CardPlace view) override;
    CardMenus& Menus() override;
    DetailPanel& Detail() override;
    QWidget& Window() override;
    void CentreOver(QWidget* window) const override;
    // Inside card work only (a request's work): the request reads first.
    void Refresh(CardPlace view) override;
    void ClearSelection() override;
    void ShowSelectedSaver(CardPlace view) override;
    void SetStatus(const QString& text) override;
    void RepaintNow() override;

    // --- Refresh -----------------------------------------------------------------
    // The menu command "Refresh" of a slot: page information first, auto
    // refresh held.
    RunOutcome RefreshCommand(CardPlace slot);
    // A view's card read again as a request of its own.
    RunOutcome ReadAgain(CardPlace view);
    // The nine format items: a view's card, userBlocks 241, 240 or 200.
    void FormatCommand(CardPlace view, int userBlocks);

    // --- Selection ---------------------------------------------------------------
    // What a click in a view does (also a key other than Enter).
    void ViewClicked(CardPlace view);
    // The selection of a view changed: the totals of several savers.
    void SelectionChanged(CardPlace view);

    // --- Ticks -------------------------------------------------------------------
    void StateTick();
    void DetectDeviceTick();
    void AutoRefreshTick();
    QTimer* DetectTimer() const { return detectTimer_; }
    QTimer* AutoRefreshTimer() const { return autoRefreshTimer_; }
    // TickHold: the auto-refresh tick stopped, and started again when the
    // setting is on and it is not already running.
    void StopTick() override;
    void RearmTick() override;
    // The auto-refresh tick's last detection found the two-slot unit.
    bool TwoSlotSeen() const { return twoSlotSeen_; }
    void SetTwoSlotSeen(bool seen) { twoSlotSeen_ = seen; }
    // While no box answers the tick comes every kNoDeviceIntervalMs and only
    // asks once whether one answers now.
    bool BackedOff() const { return backedOff_; }
    ImageWatch& WatchedImage() { return *imageWatch_; }

    // --- Pages of the paged card ---------------------------------------------------
    // The mouse on the page label (or the focus in the panel): the panel
    // slides in.
    void ShowPagePanel();
    // The mouse elsewhere, or a selection change: it slides out, and slot 1
    // is read again when the page changed meanwhile.
    void HidePagePanel();
    // The page the spin box asks for (its low 8 bits).
    void ChoosePage(int value);
    // "16M set page".
    void Set16MPage();
    // "TORIN " size suffix of a paged card from its highest page.
    static QString PageSizeSuffix(uint16_t highestPage);

    // Waits ms milliseconds as link work would, the window painting
    // meanwhile.
    void Pause(int ms);
    // Link work ended: the image watch follows, due hints and history
    // problems are told.
    void LinkIdle();

  private:
    // Refreshes (CardPresenterRefresh.cpp).
    void RefreshSlot1();
    void RefreshSlot2();
    void RefreshFile();
    bool RefreshListing(CardPlace view);
    bool ListVolume(CardPlace view);
    void ShowDeviceLayout();
    void ShowTwoSlotLayout(bool fromDetection);
    void ShowPagedLayout();
    void ReadPageInfo();
    void ShowNoDevice();
    void ShowDeviceAnswers();
    void DetectDevice();
    void EnableCommands(CardPlace view, bool on);
    void StateTickWork();

    // Auto refresh (CardPresenterTicks.cpp).
    void BackOff(bool noDevice);
    bool NoBoxYet();
    void SlotsInserted();
    bool Slot2Removed();
    bool Slot1Removed();
    bool DetectAndLayOut(bool& rereadSlot1);

    CardSession& session_;
    LinkCommandRunner& runner_;
    Prompter& prompts_;
    WindowFeedback& host_;
    UiClock& clock_;
    CardDisplay& display_;
    ImageWatch* imageWatch_ = nullptr;
    QTimer* stateTimer_ = nullptr;
    QTimer* detectTimer_ = nullptr;
    QTimer* autoRefreshTimer_ = nullptr;
    int autoRefreshInterval_;

    // A refresh started by the auto-refresh tick is running.
    bool autoRefreshBusy_ = false;
    bool twoSlotSeen_ = false;
    bool backedOff_ = false;
    // An auto-refresh tick runs its steps: what link work leaves to tell
    // waits for its end.
    bool inTick_ = false;
    // The cards (by place) told that a change of theirs is not in the history.
    std::set<std::string> historyProblemsTold_;
};
