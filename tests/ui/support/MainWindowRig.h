#pragma once

#include "support/TestFiles.h"
#include "ui/dialogs/SettingsEditor.h"
#include "ui/main/MainWindow.h"
#include "ui/main/UiClock.h"
#include "ui/support/ScriptedPrompter.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

class CardPresenter;
class LinkBox;
class PagedDevice;
class PagePanel;
class SaverCommands;
class ToolCommands;
class TwoSlotDevice;
class WaitWindow;

// The parts of a main window a test reaches into, found among its children.
CardPresenter& Presenter(MainWindow& window);
WaitWindow& WaitOf(MainWindow& window);
PagePanel& PagesOf(MainWindow& window);
SaverCommands& SaverCommandsOf(MainWindow& window);
ToolCommands& ToolsOf(MainWindow& window);
// The status line's text.
QString StatusOf(MainWindow& window);

// A clock that never waits: the time of day moves on by one second every
// `step` readings (so the link's handshake time-outs end at once), and
// pauses are only counted.
class FakeClock : public UiClock {
  public:
    std::string ClockText() override;
    void Pause(int ms) override;

    long step = 50;
    long readings = 0;
    long pausedMs = 0;
    int pauses = 0;
    std::function<void(int)> onPause;
};

// The settings dialog by script.
class ScriptedSettings : public SettingsEditor {
  public:
    bool Run(Settings& settings, QWidget*) override;
    bool ActivateChecked() const override { return activate; }

    std::function<void(Settings&)> edit;
    bool accept = true;
    bool activate = false;
    int runs = 0;
};

// One saver of a test card: directory entry, name, size in blocks, icon
// frames (0: none) and whether it is a game. Frame f is drawn all in
// palette colour f + 1, which is FrameColour(f).
struct TestSaver {
    int entry;
    std::string name;
    int blocks;
    int frames;
    bool game = false;
};
QColor FrameColour(int frame);
// Writes a card image: blank (never formatted) when userBlocks is 0, else
// formatted with those savers, their chains laid from block 199 down.
void WriteTestCard(const std::string& path, int userBlocks, const std::vector<TestSaver>& savers);

// A main window on an emulated box in a fresh folder (its StartDir), with
// delays 0, auto refresh off in "RUD2.cfg", scripted dialogs, the fake
// clock, and timers that never fire on their own.
class MainWindowRig {
  public:
    MainWindowRig();
    ~MainWindowRig();

    std::string Path(const std::string& name) const { return dir.File(name); }
    // "RUD2.cfg" lines; written before the window opens.
    void WriteConfig(int autoRefresh);
    // The two-slot unit on slot1.dcm / slot2.dcm in the folder.
    MainWindow& OpenTwoSlot();
    // The paged card: `pages` pages, each a formatted card whose one saver is
    // called "PAGE" and the page number, on page `page`.
    MainWindow& OpenPaged(int pages, int page = 0);
    // A box that does not answer.
    MainWindow& OpenNoBox();
    // The window on a port of the test's own (a socket box, say).
    MainWindow& Open(std::unique_ptr<PortBackend> backend);
    // A saver shown in a view at list position `position` is selected
    // and clicked.
    void Select(CardPlace view, const std::vector<int>& positions);

    porvane_test::TempDir dir;
    FakeClock clock;
    ScriptedPrompter prompter;
    ScriptedSettings settings;
    TwoSlotDevice* twoSlot = nullptr;
    PagedDevice* paged = nullptr;
    LinkBox* box = nullptr;
    std::unique_ptr<MainWindow> window;
};
