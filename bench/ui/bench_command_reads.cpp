// Block reads of the window's card commands, with their refresh, on the
// emulated two-slot box (verified transfers): slot 1 holds 20 savers of 3
// blocks with a one-frame icon each, slot 2 a formatted empty card. Each command
// runs once per round on fresh cards; counted are the box's whole-block reads
// (and the distinct blocks among them) and its commits.
#include "../BenchSaverDci.h"
#include "BenchStandIns.h"
#include "card/CardListing.h"
#include "card/CardSession.h"
#include "card/CardVolume.h"
#include "card/DciFile.h"
#include "card/LoadVolume.h"
#include "link/emu/BoxDevice.h"
#include "link/emu/EmulatorBackend.h"
#include "ui/commands/DciCommands.h"
#include "ui/commands/HistoryCommands.h"
#include "ui/commands/SaverCommands.h"
#include "ui/commands/TransferCommands.h"
#include "ui/dialogs/ChoiceDialog.h"
#include "ui/dialogs/CopyToDialog.h"
#include "ui/dialogs/SaverSelectedDialog.h"
#include "ui/main/MainWindow.h"
#include "ui/widgets/CardListWidget.h"
#include "ui/widgets/CardView.h"

#include <QApplication>
#include <QItemSelectionModel>
#include <QPushButton>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// box/slot1.dcm: 20 savers of 3 blocks, each with a one-frame icon;
// box/slot2.dcm: formatted and empty; dci: one more saver for the import.
void MakeCards(const fs::path& box, const fs::path& dci) {
    for (const char* slot : {"slot1.dcm", "slot2.dcm"}) {
        auto vol = std::make_unique<CardVolume>();
        vol->SetPlace(CardPlace::Image);
        vol->OpenImage((box / slot).string());
        vol->FormatVolume(200);
        LoadVolume(*vol);
        for (int i = 0; i < 20 && slot[4] == '1'; ++i) {
            const std::vector<char> bytes =
                BenchSaverDci("SAVER" + std::to_string(100 + i) + "    ", 3, 1, i);
            std::ofstream(dci, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
            ImportDci(dci.string(), *vol);
            ListSavers(*vol);
        }
        vol->CloseImage();
    }
    const std::vector<char> bytes = BenchSaverDci("SAVER200    ", 3, 1, 99);
    std::ofstream(dci, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

struct Rig {
    Rig() {
        dir = fs::temp_directory_path() /
              ("porvane-bench-command-reads-" + std::to_string(std::random_device{}()));
        fs::create_directories(dir / "box");
        MakeCards(dir / "box", dir / "demo.dci");
        std::ofstream(dir / "RUD2.cfg") << "888\r\n0\r\n0\r\n0\r\n9216\r\n0\r\n0\r\n1\r\n1\r\n";
        MainWindowOptions options;
        options.startDir = dir.string();
        options.prompter = &prompter;
        options.clock = &clock;
        options.ticks.state = options.ticks.detect = options.ticks.autoRefresh = 3600000;
        auto emulator = std::make_unique<EmulatorBackend>(
            std::make_unique<TwoSlotDevice>((dir / "box").string()));
        box = &emulator->Box();
        window = std::make_unique<MainWindow>(std::move(emulator), options);
        commands = window->findChild<SaverCommands*>();
        PresenterOf(*window).DetectDeviceTick();
        PresenterOf(*window).RefreshCommand(CardPlace::Slot1);
        PresenterOf(*window).RefreshCommand(CardPlace::Slot2);
    }
    ~Rig() {
        window.reset();
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    void Select(CardPlace view, int position) {
        CardListWidget* list = PresenterOf(*window).ViewOf(view).List();
        list->clearSelection();
        list->selectionModel()->select(list->model()->index(position, 0),
                                       QItemSelectionModel::Select);
        PresenterOf(*window).ViewClicked(view);
    }

    fs::path dir;
    FixedPrompter prompter{true};
    NoWaitClock clock;
    LinkBox* box = nullptr;
    std::unique_ptr<MainWindow> window;
    SaverCommands* commands = nullptr;
};

// A fresh rig each round; prepare runs uncounted, command counted.
template <typename Prepare, typename Command>
void Count(benchmark::State& state, Prepare prepare, Command command) {
    BoxTally total;
    uint64_t distinct = 0;
    uint64_t most = 0;
    uint64_t rounds = 0;
    int messages = 0;
    for (auto _ : state) {
        state.PauseTiming();
        Rig rig;
        prepare(rig);
        rig.box->Tally() = BoxTally{};
        state.ResumeTiming();
        command(rig);
        state.PauseTiming();
        const BoxTally& t = rig.box->Tally();
        total.blockReads += t.blockReads;
        total.commits += t.commits;
        distinct += t.DistinctBlocksRead();
        most = std::max<uint64_t>(most, t.MostReadsOfOneBlock());
        messages += rig.prompter.messages;
        ++rounds;
        state.ResumeTiming();
    }
    state.counters["block_reads"] = double(total.blockReads) / double(rounds);
    state.counters["distinct_blocks"] = double(distinct) / double(rounds);
    state.counters["commits"] = double(total.commits) / double(rounds);
    state.counters["most_reads_of_a_block"] = double(most);
    if (messages > 0)
        state.SkipWithError("a message was shown");
}

void Nothing(Rig&) {}

void BM_DeleteOneSaver(benchmark::State& s) {
    Count(
        s, [](Rig& rig) { rig.Select(CardPlace::Slot1, 5); },
        [](Rig& rig) { rig.commands->Transfers().DeleteSelected(CardPlace::Slot1); });
}

void BM_CopyOneSaver(benchmark::State& s) {
    Count(
        s,
        [](Rig& rig) {
            TransferCommands& t = rig.commands->Transfers();
            t.SaverSelected().RunHook = [](ChoiceDialog& d) { d.Button("Copy to")->click(); };
            t.CopyTo().RunHook = [](ChoiceDialog& d) { d.Button("SLOT 2")->click(); };
            rig.Select(CardPlace::Slot1, 5);
        },
        [](Rig& rig) { rig.commands->Transfers().Activate(CardPlace::Slot1); });
}

void BM_ImportDci(benchmark::State& s) {
    Count(s, Nothing, [](Rig& rig) {
        rig.commands->Dci().ImportFile(CardPlace::Slot1,
                                       QString::fromStdString((rig.dir / "demo.dci").string()));
    });
}

void BM_FormatTwentySavers(benchmark::State& s) {
    Count(s, Nothing,
          [](Rig& rig) { PresenterOf(*rig.window).FormatCommand(CardPlace::Slot1, 200); });
}

void BM_UndoDelete(benchmark::State& s) {
    Count(
        s,
        [](Rig& rig) {
            rig.Select(CardPlace::Slot1, 5);
            rig.commands->Transfers().DeleteSelected(CardPlace::Slot1);
        },
        [](Rig& rig) { rig.commands->History().Undo(CardPlace::Slot1); });
}

} // namespace

BENCHMARK(BM_DeleteOneSaver)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_CopyOneSaver)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ImportDci)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_FormatTwentySavers)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_UndoDelete)->Unit(benchmark::kMillisecond)->Iterations(3);

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
