#pragma once

#include "card/CardSession.h"
#include "ui/main/CommandUi.h"
#include "ui/main/LinkCommandRunner.h"
#include "ui/main/UiHost.h"
#include "ui/main/WaitAsidePrompter.h"

#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>

class AutoRefresh;
class CardJournal;
class CardMenus;
class CardView;
class DetailPanel;
class ImageWatch;
class LinkPort;
class MenuButton;
class PagePanel;
class PortBackend;
class Prompter;
class QLabel;
class QProgressBar;
class QPushButton;
class QSplitter;
class QTimer;
class SettingsDialog;
class SettingsEditor;
class UiClock;
class WaitWindow;

// What a test or another program changes about the main window.
struct MainWindowOptions {
    std::string startDir;                     // empty: the current folder
    Prompter* prompter = nullptr;             // null: real message boxes and file dialogs
    UiClock* clock = nullptr;                 // null: the wall clock
    SettingsEditor* settingsEditor = nullptr; // null: the "Option" dialog
    int stateInterval = 800;                  // the state tick
    int detectDelay = 1000;                   // device detection after start
    int autoRefreshInterval = 1500;           // the auto-refresh tick
};

// The program's main window: it owns the cards (a CardSession), lays out
// their views, runs the state, detection and auto-refresh ticks, and enables
// the commands.
//
// The commands of the pop-up menus, the header buttons and the detail panel
// are attached from outside: each is a QAction or button with its own
// objectName (see CardMenus and the Find* helpers); they see the window as a
// CommandUi. Link work runs through the LinkCommandRunner, which keeps the
// timers' ticks from starting in the middle of it.
class MainWindow : public QWidget, public CommandUi {
    Q_OBJECT
  public:
    static constexpr int kWidth = 665;
    static constexpr int kHeight = 561;
    static constexpr const char* kAddressText = "A memory card manager for Linux";
    // The window's caption; the title in its left column says more.
    static constexpr const char* kTitle = "Porvane";
    static constexpr const char* kTitleLabel = "Porvane V2.3b";
    static constexpr const char* kNoDeviceHintText = "No link box answers. Try:\n"
                                                     "sudo modprobe ppdev\n"
                                                     "sudo adduser $USER lp (log in again)\n"
                                                     "or start with --link emulator:DIR\n"
                                                     "Details: porvane-cli doctor";

    explicit MainWindow(std::unique_ptr<PortBackend> backend, const MainWindowOptions& options = {},
                        QWidget* parent = nullptr);
    ~MainWindow() override;

    // --- CommandUi ---------------------------------------------------------------
    CardSession& Session() override { return session_; }
    LinkCommandRunner& Runner() override { return runner_; }
    Prompter& Prompts() override { return prompts_; }
    CardFeedback& EngineUi() override { return host_; }
    CardView& ViewOf(CardPlace view) override { return *views_[PlaceIndex(view)]; }
    CardMenus& Menus() override { return *menus_; }
    DetailPanel& Detail() override { return *detail_; }
    QWidget& Window() override { return *this; }
    void CentreOver(QWidget* window) const override;
    void Refresh(CardPlace view) override;
    void ClearSelection() override;
    void ShowSelectedSaver(CardPlace view) override;
    void SetStatus(const QString& text) override;
    void RepaintNow() override;

    // The menu commands "Refresh" of a slot: page information first, auto
    // refresh held.
    void RefreshCommand(CardPlace slot);
    // What a click in a view does (also a key other than Enter).
    void ViewClicked(CardPlace view);

    WaitWindow& Wait() { return *waitWindow_; }
    ImageWatch& WatchedImage() { return *imageWatch_; }
    AutoRefresh& AutoRefresher() { return *autoRefresh_; }
    PagePanel& Pages() { return *pagePanel_; }
    QTimer* StateTimer() const { return stateTimer_; }
    QTimer* DetectTimer() const { return detectTimer_; }
    QLabel* NoDeviceHint() const { return noDeviceHint_; }
    QProgressBar* Progress() const { return progress_; }
    QString Status() const;
    // Waits ms milliseconds as link work, the window painting meanwhile.
    void Pause(int ms);

    // --- Device ------------------------------------------------------------------
    // Tells the device and lays the window out for it.
    void ShowDeviceLayout();
    // Whether the "Activate" box of the settings dialog is checked.
    bool ActivateChecked() const;
    // No box answered: "No Device" on the status line, a line under it that
    // says what to try, and slower auto-refresh ticks until a box answers.
    void ShowNoDevice();
    // A box answered: the hint goes, the ticks come at their usual pace.
    void ShowDeviceAnswers();

    // "TORIN " size suffix of a paged card from its highest page.
    static QString PageSizeSuffix(uint16_t highestPage);

  public slots:
    void StateTick();
    void DetectDeviceTick();
    // The "Setup..." button.
    void RunSettings();
    // The nine format items: a view's card, userBlocks 241, 240 or 200.
    void FormatCommand(CardPlace view, int userBlocks);

  signals:
    // A double click or Enter in a view.
    void SaverActivated(CardPlace view);

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void BuildLeftColumn();
    void BuildCardArea();
    void ConnectViews();
    void ConnectCommands();
    void SelectionChanged(CardPlace view);
    void ApplyColumnFonts();
    void ShowTwoSlotLayout(bool fromDetection);
    void BuildNoDeviceHint(int top);
    void ShowPagedLayout();
    void StepSlot2Width(int step, const std::function<bool()>& done);
    void RefreshSlot1();
    void RefreshSlot2();
    void RefreshFile();
    bool RefreshListing(CardPlace view);
    void EnableCommands(CardPlace view, bool on);
    void ReadPageInfo();
    void LinkIdle();

    // Field order matters: the link outlives nothing that uses it.
    std::unique_ptr<UiClock> ownClock_;
    UiClock* clock_ = nullptr;
    std::unique_ptr<Prompter> ownPrompter_;
    // Every message of the window, the engine's included, goes through it.
    WaitAsidePrompter prompts_;
    UiHost host_;
    CardSession session_;
    LinkCommandRunner runner_;
    bool closePending_ = false;
    // The cards (by place) told that a change of theirs is not in the history.
    std::set<std::string> historyProblemsTold_;

    std::array<CardView*, 3> views_ = {};
    CardMenus* menus_ = nullptr;
    DetailPanel* detail_ = nullptr;
    PagePanel* pagePanel_ = nullptr;
    AutoRefresh* autoRefresh_ = nullptr;
    ImageWatch* imageWatch_ = nullptr;
    WaitWindow* waitWindow_ = nullptr;
    SettingsDialog* settingsDialog_ = nullptr;
    std::unique_ptr<SettingsEditor> ownSettingsEditor_;
    SettingsEditor* settingsEditor_ = nullptr;

    QWidget* central_ = nullptr;
    QLabel* makerLabel_ = nullptr;
    QLabel* addressLabel_ = nullptr;
    QLabel* statusLabel_ = nullptr;
    QLabel* noDeviceHint_ = nullptr;
    MenuButton* fileButton_ = nullptr;
    MenuButton* slot1Button_ = nullptr;
    MenuButton* slot2Button_ = nullptr;
    QPushButton* setupButton_ = nullptr;
    QPushButton* exitButton_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QSplitter* cardSplitter_ = nullptr;
    QSplitter* slotSplitter_ = nullptr;
    QTimer* stateTimer_ = nullptr;
    QTimer* detectTimer_ = nullptr;
};
