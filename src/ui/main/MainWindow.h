#pragma once

#include "card/CardSession.h"
#include "ui/main/CardDisplay.h"
#include "ui/main/CardPresenter.h"
#include "ui/main/LinkCommandRunner.h"
#include "ui/main/WaitAsidePrompter.h"
#include "ui/main/WindowFeedback.h"

#include <QString>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <string>

class CardMenus;
class CardView;
class DetailPanel;
class MenuButton;
class PagePanel;
class PortBackend;
class Prompter;
class QLabel;
class QProgressBar;
class QPushButton;
class QSplitter;
class SaverCommands;
class SettingsDialog;
class SettingsEditor;
class ToolCommands;
class UiClock;
class WaitShow;
class WaitWindow;

// What a test or another program changes about the main window.
struct MainWindowOptions {
    std::string startDir;                     // empty: the current folder
    Prompter* prompter = nullptr;             // null: real message boxes and file dialogs
    UiClock* clock = nullptr;                 // null: the wall clock
    SettingsEditor* settingsEditor = nullptr; // null: the "Option" dialog
    PresenterTicks ticks;
    // The hex editor opens this file on its first activation.
    QString editorFile;
};

// The program's main window: it holds the cards (a CardSession) and lays
// out their views; the CardPresenter drives them, the commands of the
// menus, buttons and views act on them, and every piece of card work runs
// through the LinkCommandRunner.
class MainWindow : public QWidget, private CardDisplay {
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

    // A card file handed to the program (at start, or by a later start): a
    // card image opens in the file view, a saver file goes into the view
    // the user names once a card is read. Waits while link work or a modal
    // window is in the way.
    void OpenCard(const QString& path);

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // --- CardDisplay -------------------------------------------------------------
    void SetStatus(const QString& text) override;
    void ShowNoDeviceHint(bool shown) override;
    void ShowMaker() override;
    void ShowTwoSlotLayout(bool fromDetection) override;
    void ShowPagedLayout() override;
    void RepaintNow() override;
    CardView& ViewOf(CardPlace view) override { return *views_[PlaceIndex(view)]; }
    DetailPanel& Detail() override { return *detail_; }
    CardMenus& Menus() override { return *menus_; }
    PagePanel& Pages() override { return *pagePanel_; }
    QWidget& Window() override { return *this; }
    void CentreOver(QWidget* window) const override;
    bool ActivateChecked() const override;

    void BuildLeftColumn();
    void BuildCardArea();
    void BuildNoDeviceHint(int top);
    void ConnectViews();
    void ConnectCommands();
    void ApplyColumnFonts();
    void StepSlot2Width(int step, const std::function<bool()>& done);
    // The "Setup..." button.
    void RunSettings();
    void LinkIdle();
    void ImportWhenLoaded(const QString& path, int tries);

    // Field order matters: the link outlives nothing that uses it.
    std::unique_ptr<UiClock> ownClock_;
    UiClock* clock_ = nullptr;
    std::unique_ptr<Prompter> ownPrompter_;
    // Every message of the window, the engine's included, goes through it.
    WaitAsidePrompter prompts_;
    WindowFeedback host_;
    CardSession session_;
    LinkCommandRunner runner_;
    std::unique_ptr<WaitShow> waitShow_;
    bool closePending_ = false;

    CardPresenter* presenter_ = nullptr;
    SaverCommands* saverCommands_ = nullptr;
    ToolCommands* toolCommands_ = nullptr;
    std::array<CardView*, 3> views_ = {};
    CardMenus* menus_ = nullptr;
    DetailPanel* detail_ = nullptr;
    PagePanel* pagePanel_ = nullptr;
    WaitWindow* waitWindow_ = nullptr;
    SettingsDialog* settingsDialog_ = nullptr;
    std::unique_ptr<SettingsEditor> ownSettingsEditor_;
    SettingsEditor* settingsEditor_ = nullptr;

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
};
