#pragma once

#include "card/CardVolume.h"
#include "settings/Settings.h"
#include "ui/main/UiHost.h"

#include <QWidget>
#include <array>
#include <cstdint>
#include <memory>
#include <string>

class AutoRefresh;
class CardMenus;
class CardView;
class DetailPanel;
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

// The program's main window and the owner of all card state: the link, the
// three card volumes (0 slot 1, 1 slot 2, 2 the open card image), the loaded
// flags, the selection and the page state, and the three timers.
//
// The commands of the pop-up menus, the header buttons and the detail panel
// are attached from outside: each is a QAction or button with its own
// objectName (see CardMenus and the Find* helpers), and the API below is what
// they work with. Long link work must run inside a LinkWork scope, which
// keeps the timers' ticks from starting in the middle of it.
class MainWindow : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kSlot1 = 0;
    static constexpr int kSlot2 = 1;
    static constexpr int kFile = 2;
    static constexpr int kWidth = 665;
    static constexpr int kHeight = 561;
    static constexpr const char* kAddressText = "A memory card manager for Linux";
    // The window's caption, as the title in its left column.
    static constexpr const char* kTitle = "Porvane V2.3b";
    static constexpr const char* kNoDeviceHintText = "No link box answers. Try:\n"
                                                     "sudo modprobe ppdev\n"
                                                     "sudo adduser $USER lp (log in again)\n"
                                                     "or start with --link emulator:DIR\n"
                                                     "Details: porvane-cli doctor";

    explicit MainWindow(std::unique_ptr<PortBackend> backend, const MainWindowOptions& options = {},
                        QWidget* parent = nullptr);
    ~MainWindow() override;

    // --- Card state -----------------------------------------------------------
    CardVolume& Volume(int index) { return volumes_[index]; }
    CardView& View(int index) { return *views_[index]; }
    bool Loaded(int index) const { return loaded_[index]; }
    void SetLoaded(int index, bool loaded) { loaded_[index] = loaded; }
    LinkPort& Link() { return *link_; }
    Settings& Config() { return settings_; }
    // The folder of the side files, ending in "/".
    const std::string& StartDir() const { return startDir_; }
    Prompter& Prompts() { return *prompter_; }
    CardUi& Ui() { return host_; }
    UiHost& Host() { return host_; }

    // The single selected saver (empty name and no volume when none).
    std::string SelectedName;
    int16_t SelectedEntry = 0;
    CardVolume* SelectedVolume = nullptr;

    // Page state of the paged card.
    uint16_t CurrentPage = 0;
    uint16_t HighestPage = 0;
    int16_t ShownPage = 0;

    // --- Refreshes (re-read one volume and rebuild its view) -------------------
    void RefreshSlot1();
    void RefreshSlot2();
    void RefreshFile();
    void Refresh(int index);
    // The menu commands "Refresh": page information first, auto refresh held.
    void RefreshSlot1Command();
    void RefreshSlot2Command();
    void ReadPageInfo();

    // --- Selection and detail panel --------------------------------------------
    void ClearSelection();
    void ShowSelectedSaver(int index);
    // What a click in view `index` does (also a key other than Enter).
    void ViewClicked(int index);

    // --- Windows -----------------------------------------------------------------
    WaitWindow& Wait() { return *waitWindow_; }
    void ShowWaitWindow();
    void HideWaitWindow();
    // Moves `window` so that it stands centred over the main window.
    void CentreOver(QWidget* window) const;

    // --- Link work and timers ---------------------------------------------------
    // While one exists, the state, detection and auto-refresh ticks do
    // nothing, so no link command starts inside another and no tick reads a
    // half-built listing. Nests.
    class LinkWork {
      public:
        explicit LinkWork(MainWindow& window) : window_(window) { ++window_.linkWork_; }
        ~LinkWork();
        LinkWork(const LinkWork&) = delete;
        LinkWork& operator=(const LinkWork&) = delete;

      private:
        MainWindow& window_;
    };
    bool LinkBusy() const { return linkWork_ > 0; }
    // Waits ms milliseconds as link work, the window painting meanwhile.
    void Pause(int ms);
    // Lets the window paint now.
    void RepaintNow();
    AutoRefresh& AutoRefresher() { return *autoRefresh_; }
    PagePanel& Pages() { return *pagePanel_; }
    QTimer* StateTimer() const { return stateTimer_; }
    QTimer* DetectTimer() const { return detectTimer_; }

    // --- Device ------------------------------------------------------------------
    // Whether a card sits in slot 0 or 1 (the paged card counts as present).
    bool CardPresent(int slot);
    // Tells the device and lays the window out for it.
    void ShowDeviceLayout();
    // Whether the "Activate" box of the settings dialog is checked.
    bool ActivateChecked() const;
    void SetStatus(const QString& text);
    QString Status() const;
    // No box answered: "No Device" on the status line, a line under it that
    // says what to try, and slower auto-refresh ticks until a box answers.
    void ShowNoDevice();
    // A box answered: the hint goes, the ticks come at their usual pace.
    void ShowDeviceAnswers();
    QLabel* NoDeviceHint() const { return noDeviceHint_; }

    // --- Controls for the commands -------------------------------------------------
    CardMenus& Menus() { return *menus_; }
    DetailPanel& Detail() { return *detail_; }
    QPushButton* SetupButton() const { return setupButton_; }
    QProgressBar* Progress() const { return progress_; }
    void EnableSlot1Commands(bool on);
    void EnableSlot2Commands(bool on);
    void EnableFileCommands(bool on);

    // "TORIN " size suffix of a paged card from its highest page.
    static QString PageSizeSuffix(uint16_t highestPage);

  public slots:
    void StateTick();
    void DetectDeviceTick();
    // The "Setup..." button.
    void RunSettings();
    // The nine format items: volume `index`, userBlocks 241, 240 or 200.
    void FormatCommand(int index, int userBlocks);

  signals:
    // A double click or Enter in view `index`.
    void SaverActivated(int index);

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    friend class LinkWork;
    void BuildLeftColumn();
    void BuildCardArea();
    void ConnectViews();
    void ConnectCommands();
    void SelectionChanged(int index);
    void ApplyColumnFonts();
    void ShowTwoSlotLayout(bool fromDetection);
    void BuildNoDeviceHint(int top);
    void ShowPagedLayout();
    void StepSlot2Width(int step, const std::function<bool()>& done);
    void RefreshSlot(int index);
    bool RefreshListing(int index);
    void ClearPendingClose();

    // Field order matters: the link outlives nothing that uses it.
    Settings settings_;
    std::string startDir_;
    std::unique_ptr<UiClock> ownClock_;
    UiClock* clock_ = nullptr;
    std::unique_ptr<Prompter> ownPrompter_;
    Prompter* prompter_ = nullptr;
    UiHost host_;
    std::array<CardVolume, 3> volumes_;
    std::array<bool, 3> loaded_ = {false, false, false};
    std::unique_ptr<LinkPort> link_;
    int linkWork_ = 0;
    bool closePending_ = false;

    std::array<CardView*, 3> views_ = {};
    CardMenus* menus_ = nullptr;
    DetailPanel* detail_ = nullptr;
    PagePanel* pagePanel_ = nullptr;
    AutoRefresh* autoRefresh_ = nullptr;
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
