// The saver commands through the main window, offscreen, over the in-process
// emulated two-slot box with every delay 0: "Copy to" of a 100-block saver
// from slot 1 to slot 2 (the copy and the refresh of slot 2 that follows),
// and a drop of three savers (3, 4 and 2 blocks) from slot 1 onto slot 2.
// Each runs with verified transfers on (the default) and off, and reports
// the port operations per saver block moved, beside the least the protocol
// needs to read a block from one slot and write it to the other.
#include "BenchStandIns.h"
#include "card/CardVolume.h"
#include "card/LoadVolume.h"
#include "card/TransferEngine.h"
#include "link/emu/BoxDevice.h"
#include "link/emu/EmulatorBackend.h"
#include "qtbase/Prompter.h"
#include "ui/commands/SaverCommands.h"
#include "ui/commands/SaverDrags.h"
#include "ui/commands/TransferCommands.h"
#include "ui/dialogs/ChoiceDialog.h"
#include "ui/dialogs/CopyToDialog.h"
#include "ui/dialogs/SaverSelectedDialog.h"
#include "ui/main/MainWindow.h"
#include "ui/main/UiClock.h"
#include "ui/widgets/CardListWidget.h"
#include "ui/widgets/CardView.h"

#include <QApplication>
#include <QDropEvent>
#include <QItemSelectionModel>
#include <QMimeData>
#include <QPushButton>
#include <benchmark/benchmark.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

class CountingBackend : public PortBackend {
  public:
    explicit CountingBackend(std::unique_ptr<PortBackend> inner) : inner_(std::move(inner)) {}
    bool Open() override { return inner_->Open(); }
    void Close() override { inner_->Close(); }
    bool IsOpen() const override { return inner_->IsOpen(); }
    void SelectBase(uint16_t base) override { inner_->SelectBase(base); }
    bool Read(uint16_t port, uint8_t& value) override {
        ++ops;
        return inner_->Read(port, value);
    }
    bool Write(uint16_t port, uint8_t value) override {
        ++ops;
        return inner_->Write(port, value);
    }
    uint32_t LastError() const override { return 0; }
    uint64_t ops = 0;

  private:
    std::unique_ptr<PortBackend> inner_;
};

// The least a command costs (data, ready poll, control up, release poll,
// control down; 3 writes and a read per bit), and a chunked block read and
// write in commands and bytes, as the link benchmark counts them.
constexpr uint64_t MinOps(uint64_t commands, uint64_t bytes) {
    return commands * 5 + bytes * 32;
}
constexpr uint64_t kCopyBlockMin =
    MinOps(10, 5 + 4 * 6 + 4 * 131 + 5) + MinOps(11, 5 + 4 * 131 + 4 * 6 + 5 + 5);

// A formatted 200-block card whose savers' chains run down from block 199,
// each with a one-frame icon in its header block.
void WriteCard(const std::string& path, const std::vector<int>& sizes) {
    auto vol = std::make_unique<CardVolume>();
    vol->SetPlace(CardPlace::Image);
    vol->OpenImage(path);
    vol->FormatVolume(200);
    LoadVolume(*vol);
    int next = 199;
    for (size_t i = 0; i < sizes.size(); ++i) {
        const int first = next;
        for (int b = 0; b < sizes[i]; ++b, --next) {
            uint8_t block[512];
            for (int k = 0; k < 512; ++k)
                block[k] = static_cast<uint8_t>(k + b * 7 + i);
            if (b == 0) {
                block[0x40] = 1;
                block[0x41] = 0;
            }
            SwapWords(block);
            vol->WriteRawBlock(vol->Device(), static_cast<uint8_t>(next), block);
            vol->Fat()[next] = b + 1 < sizes[i] ? next - 1 : CardVolume::kFatEnd;
        }
        SaverEntry& e = vol->Entries()[i];
        std::memset(e.Raw, 0, sizeof e.Raw);
        e.Raw[0] = SaverEntry::kTypeData;
        e.Raw[2] = static_cast<uint8_t>(first);
        const std::string name = "SAVER" + std::to_string(i) + "            ";
        std::memcpy(e.Raw + 4, name.data(), 12);
        e.Raw[24] = static_cast<uint8_t>(sizes[i]);
    }
    vol->WriteFat();
    vol->WriteDirectory();
    vol->CloseImage();
}

struct Rig {
    Rig(const std::vector<int>& sizes, bool verify) {
        std::random_device rd;
        dir = fs::temp_directory_path() / ("porvane-bench-commands-" + std::to_string(rd()));
        fs::create_directories(dir);
        WriteCard((dir / "slot1.dcm").string(), sizes);
        WriteCard((dir / "slot2.dcm").string(), {});
        std::ofstream(dir / "RUD2.cfg") << "888\r\n0\r\n0\r\n0\r\n9216\r\n0\r\n0\r\n"
                                        << (verify ? 1 : 0) << "\r\n";
        MainWindowOptions options;
        options.startDir = dir.string();
        options.prompter = &prompter;
        options.clock = &clock;
        options.ticks.state = options.ticks.detect = options.ticks.autoRefresh = 3600000;
        auto counting = std::make_unique<CountingBackend>(
            std::make_unique<EmulatorBackend>(std::make_unique<TwoSlotDevice>(dir.string())));
        counter = counting.get();
        window = std::make_unique<MainWindow>(std::move(counting), options);
        commands = window->findChild<SaverCommands*>();
        PresenterOf(*window).RefreshCommand(CardPlace::Slot1);
        PresenterOf(*window).RefreshCommand(CardPlace::Slot2);
    }
    ~Rig() {
        window.reset();
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    void SelectSlot1(int count) {
        CardListWidget* list = PresenterOf(*window).ViewOf(CardPlace::Slot1).List();
        list->clearSelection();
        for (int p = 0; p < count; ++p)
            list->selectionModel()->select(list->model()->index(p, 0), QItemSelectionModel::Select);
    }
    // Slot 2 emptied again, outside the timing.
    void EmptySlot2() {
        CardVolume& v = PresenterOf(*window).Session().Volume(CardPlace::Slot2);
        for (int k = v.ListedCount() - 1; k >= 0; --k)
            DeleteSaver(v, v.ListMap()[k]);
        PresenterOf(*window).ReadAgain(CardPlace::Slot2);
    }
    bool Slot2Holds(int savers) const {
        return PresenterOf(*window).Session().Loaded(CardPlace::Slot2) &&
               PresenterOf(*window).Session().Volume(CardPlace::Slot2).ListedCount() == savers;
    }

    fs::path dir;
    FixedPrompter prompter{true};
    NoWaitClock clock;
    CountingBackend* counter = nullptr;
    std::unique_ptr<MainWindow> window;
    SaverCommands* commands = nullptr;
};

// Runs action once a round with slot 2 emptied and `selected` savers of slot
// 1 selected beforehand. Only the action's port operations count; the
// refresh of the target that ends each command is measured once more on its
// own, so that the transfer's share per block shows too.
template <typename Action>
void Run(benchmark::State& state, Rig& rig, int selected, int blocksPerRound, Action action) {
    uint64_t ops = 0;
    uint64_t refreshOps = 0;
    uint64_t rounds = 0;
    for (auto _ : state) {
        state.PauseTiming();
        rig.EmptySlot2();
        rig.SelectSlot1(selected);
        const uint64_t before = rig.counter->ops;
        state.ResumeTiming();
        action();
        state.PauseTiming();
        ops += rig.counter->ops - before;
        if (!rig.Slot2Holds(selected))
            state.SkipWithError("the savers were not copied");
        const uint64_t beforeRefresh = rig.counter->ops;
        PresenterOf(*rig.window).ReadAgain(CardPlace::Slot2);
        refreshOps += rig.counter->ops - beforeRefresh;
        ++rounds;
        state.ResumeTiming();
    }
    const double blocks = double(rounds) * blocksPerRound;
    state.counters["ops_per_block"] = double(ops) / blocks;
    state.counters["transfer_ops_per_block"] = double(ops - refreshOps) / blocks;
    state.counters["min_ops_per_block"] = double(kCopyBlockMin);
    state.counters["transfer_ratio"] = double(ops - refreshOps) / blocks / double(kCopyBlockMin);
    if (rig.prompter.messages > 0)
        state.SkipWithError("a message was shown");
}

void CopyTo(benchmark::State& state, bool verify) {
    Rig rig({100}, verify);
    TransferCommands& t = rig.commands->Transfers();
    t.SaverSelected().RunHook = [](ChoiceDialog& d) { d.Button("Copy to")->click(); };
    t.CopyTo().RunHook = [](ChoiceDialog& d) { d.Button("SLOT 2")->click(); };
    Run(state, rig, 1, 100, [&] { t.Activate(CardPlace::Slot1); });
}

// Through the view's drop handling, as a drag from slot 1 ends on slot 2.
void DropThree(benchmark::State& state, bool verify) {
    Rig rig({3, 4, 2}, verify);
    QWidget* viewport = PresenterOf(*rig.window).ViewOf(CardPlace::Slot2).List()->viewport();
    Run(state, rig, 3, 9, [&] {
        auto data = std::unique_ptr<QMimeData>(rig.commands->Drags().DragData(CardPlace::Slot1));
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, data.get(), Qt::LeftButton,
                              Qt::NoModifier);
        QCoreApplication::sendEvent(viewport, &enter);
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(viewport, &drop);
        QCoreApplication::processEvents();
    });
}

void BM_CopyTo100Blocks(benchmark::State& s) {
    CopyTo(s, true);
}
void BM_CopyTo100BlocksUnverified(benchmark::State& s) {
    CopyTo(s, false);
}
void BM_DropThreeSavers(benchmark::State& s) {
    DropThree(s, true);
}
void BM_DropThreeSaversUnverified(benchmark::State& s) {
    DropThree(s, false);
}
BENCHMARK(BM_CopyTo100Blocks)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CopyTo100BlocksUnverified)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DropThreeSavers)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DropThreeSaversUnverified)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
