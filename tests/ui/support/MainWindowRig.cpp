#include "ui/support/MainWindowRig.h"

#include "card/CardVolume.h"
#include "card/LoadVolume.h"
#include "link/emu/BoxDevice.h"
#include "link/emu/EmulatorBackend.h"
#include "ui/commands/SaverCommands.h"
#include "ui/dialogs/WaitWindow.h"
#include "ui/main/CardPresenter.h"
#include "ui/tools/ToolCommands.h"
#include "ui/widgets/CardListWidget.h"
#include "ui/widgets/CardView.h"
#include "ui/widgets/PagePanel.h"

#include <QItemSelectionModel>
#include <QLabel>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

namespace {

template <typename Part> Part& Child(MainWindow& window) {
    Part* part = window.findChild<Part*>();
    if (part == nullptr)
        std::abort();
    return *part;
}

} // namespace

CardPresenter& Presenter(MainWindow& window) {
    return Child<CardPresenter>(window);
}

WaitWindow& WaitOf(MainWindow& window) {
    return Child<WaitWindow>(window);
}

PagePanel& PagesOf(MainWindow& window) {
    return Child<PagePanel>(window);
}

SaverCommands& SaverCommandsOf(MainWindow& window) {
    return Child<SaverCommands>(window);
}

ToolCommands& ToolsOf(MainWindow& window) {
    return Child<ToolCommands>(window);
}

QString StatusOf(MainWindow& window) {
    return window.findChild<QLabel*>("StatusLabel")->text();
}

std::string FakeClock::ClockText() {
    const long seconds = readings++ / step;
    char text[16];
    std::snprintf(text, sizeof text, "%02ld:%02ld:%02ld", (seconds / 3600) % 24,
                  (seconds / 60) % 60, seconds % 60);
    return text;
}

void FakeClock::Pause(int ms) {
    pausedMs += ms;
    ++pauses;
    if (onPause)
        onPause(ms);
}

bool ScriptedSettings::Run(Settings& settings, QWidget*) {
    ++runs;
    if (accept && edit)
        edit(settings);
    return accept;
}

QColor FrameColour(int frame) {
    const int w = 0x100 * ((frame * 5 + 3) & 0xF) + 0x10 * ((frame * 3 + 9) & 0xF) + 0x8;
    return QColor(((w & 0xF00) >> 8) * 16, w & 0xF0, (w & 0xF) * 16);
}

namespace {

void WriteNatural(CardVolume& v, int block, uint8_t* natural) {
    SwapWords(natural);
    v.WriteRawBlock(v.Device(), static_cast<uint8_t>(block), natural);
}

} // namespace

void WriteTestCard(const std::string& path, int userBlocks, const std::vector<TestSaver>& savers) {
    std::remove(path.c_str());
    auto v = std::make_unique<CardVolume>();
    v->SetPlace(CardPlace::Image);
    v->OpenImage(path); // a new image is blank
    if (userBlocks == 0)
        return;
    v->FormatVolume(static_cast<uint8_t>(userBlocks));
    LoadVolume(*v);
    int next = 199;
    for (const TestSaver& s : savers) {
        // A game's chain starts at block 0 and its header is the second block.
        std::vector<int> chain;
        for (int b = 0; b < s.blocks; ++b)
            chain.push_back(s.game ? b : next--);
        for (size_t b = 0; b < chain.size(); ++b)
            v->Fat()[chain[b]] = b + 1 < chain.size() ? chain[b + 1] : CardVolume::kFatEnd;
        const size_t header = s.game ? 1 : 0;
        // Header and frame data as one run of bytes over the chain from the header.
        std::vector<uint8_t> bytes((chain.size() - header) * 512, 0);
        bytes[0x40] = static_cast<uint8_t>(s.frames);
        for (int k = 0; k < 16; ++k) {
            const int w = 0x100 * ((k * 5 - 2) & 0xF) + 0x10 * ((k * 3 + 6) & 0xF) + 0x8;
            bytes[0x60 + 2 * k] = static_cast<uint8_t>(w & 0xFF);
            bytes[0x61 + 2 * k] = static_cast<uint8_t>(w >> 8);
        }
        for (int f = 0; f < s.frames; ++f)
            for (int i = 0; i < 512 && 0x80 + f * 512 + i < static_cast<int>(bytes.size()); ++i)
                bytes[0x80 + f * 512 + i] = static_cast<uint8_t>((f + 1) * 0x11);
        for (size_t b = header; b < chain.size(); ++b)
            WriteNatural(*v, chain[b], bytes.data() + (b - header) * 512);
        SaverEntry& e = v->Entries()[s.entry];
        std::memset(e.Raw, 0, sizeof e.Raw);
        e.Raw[0] = s.game ? SaverEntry::kTypeGame : SaverEntry::kTypeData;
        e.Raw[2] = static_cast<uint8_t>(chain[0]);
        const std::string name = (s.name + std::string(12, ' ')).substr(0, 12);
        std::memcpy(e.Raw + 4, name.data(), 12);
        const uint8_t stamp[8] = {0x20, 0x24, 0x03, 0x15, 0x09, 0x41, 0x07, 0x05};
        std::memcpy(e.Raw + 16, stamp, 8);
        e.Raw[24] = static_cast<uint8_t>(s.blocks);
    }
    v->WriteFat();
    v->WriteDirectory();
}

MainWindowRig::MainWindowRig() {
    WriteConfig(0);
}

MainWindowRig::~MainWindowRig() {
    window.reset();
}

void MainWindowRig::WriteConfig(int autoRefresh) {
    std::ofstream out(Path("RUD2.cfg"), std::ios::binary | std::ios::trunc);
    out << "888\r\n0\r\n0\r\n0\r\n9216\r\n0\r\n" << autoRefresh << "\r\n";
}

MainWindow& MainWindowRig::Open(std::unique_ptr<PortBackend> backend) {
    MainWindowOptions options;
    options.startDir = dir.Path().string();
    options.prompter = &prompter;
    options.clock = &clock;
    options.settingsEditor = &settings;
    // Ticks run when a test calls them.
    options.ticks.state = options.ticks.detect = options.ticks.autoRefresh = 3600 * 1000;
    window = std::make_unique<MainWindow>(std::move(backend), options);
    return *window;
}

MainWindow& MainWindowRig::OpenTwoSlot() {
    auto device = std::make_unique<TwoSlotDevice>(dir.Path().string());
    twoSlot = device.get();
    auto backend = std::make_unique<EmulatorBackend>(std::move(device));
    box = &backend->Box();
    return Open(std::move(backend));
}

MainWindow& MainWindowRig::OpenPaged(int pages, int page) {
    const std::string file = Path("paged.bin");
    const std::string one = Path("page.dcm");
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        for (int p = 0; p < pages; ++p) {
            WriteTestCard(one, 200, {{0, "PAGE" + std::to_string(p), 2, 1}});
            std::ifstream in(one, std::ios::binary);
            out << in.rdbuf();
        }
    }
    auto device = std::make_unique<PagedDevice>(file);
    paged = device.get();
    paged->SetPage(static_cast<uint16_t>(page));
    auto backend = std::make_unique<EmulatorBackend>(std::move(device));
    box = &backend->Box();
    return Open(std::move(backend));
}

MainWindow& MainWindowRig::OpenNoBox() {
    MainWindow& w = OpenTwoSlot();
    box->Faults().noBox = true;
    return w;
}

void MainWindowRig::Select(CardPlace view, const std::vector<int>& positions) {
    CardListWidget* list = Presenter(*window).ViewOf(view).List();
    list->clearSelection();
    for (int p : positions)
        list->selectionModel()->select(list->model()->index(p, 0), QItemSelectionModel::Select);
    Presenter(*window).ViewClicked(view);
}
