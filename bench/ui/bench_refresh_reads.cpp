// Block reads of one window refresh of slot 1 against the distinct blocks the
// listing needs (root, table, directory, each saver's header and icon
// frames), on the emulated two-slot box with a card of 20 demo savers of 3
// icon frames each; verified transfers read every block twice.
#include "BenchStandIns.h"
#include "card/CardListing.h"
#include "card/CardSession.h"
#include "card/CardVolume.h"
#include "card/DciFile.h"
#include "card/DemoCards.h"
#include "card/DemoSavers.h"
#include "card/LoadVolume.h"
#include "link/emu/BoxDevice.h"
#include "link/emu/EmulatorBackend.h"
#include "ui/main/MainWindow.h"

#include <QApplication>
#include <benchmark/benchmark.h>

#include <bitset>
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

// The two-slot unit counting whole-block reads (a fetch of quarter 0) and
// the blocks they were of.
class CountingTwoSlot : public TwoSlotDevice {
  public:
    using TwoSlotDevice::TwoSlotDevice;
    bool FetchChunk(uint8_t slot, uint8_t block, uint8_t quarter) override {
        if (quarter == 0) {
            ++reads;
            seen.set(slot * 256u + block);
        }
        return TwoSlotDevice::FetchChunk(slot, block, quarter);
    }
    uint64_t reads = 0;
    std::bitset<512> seen;
};

// slot1.dcm: a formatted card with 20 copies of the demo data saver, each
// under its own name.
void MakeTwentySavers(const fs::path& box) {
    EnsureDemoCards(box.string());
    const fs::path card = box / "slot1.dcm";
    fs::copy_file(box / "slot2.dcm", card, fs::copy_options::overwrite_existing);
    const std::string dci = (box / "demo.dci").string();
    WriteDemoDataDci(dci);
    std::vector<char> bytes;
    {
        std::ifstream in(dci, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    auto vol = std::make_unique<CardVolume>();
    vol->SetPlace(CardPlace::Image);
    vol->OpenImage(card.string());
    LoadVolume(*vol);
    for (int i = 0; i < 20; ++i) {
        const std::string name = "SAVER" + std::to_string(100 + i) + "    ";
        std::memcpy(bytes.data() + 4, name.data(), 12);
        std::ofstream(dci, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
        // The import checks the free count of the listing.
        ListSavers(*vol);
        ImportDci(dci, *vol);
    }
    vol->CloseImage();
    fs::remove(dci);
}

struct Rig {
    Rig()
        : dir(fs::temp_directory_path() /
              ("porvane-bench-reads-" + std::to_string(std::random_device{}()))) {
        fs::create_directories(dir / "box");
        MakeTwentySavers(dir / "box");
        MainWindowOptions options;
        options.startDir = dir.string();
        options.prompter = &prompter;
        options.clock = &clock;
        options.ticks.state = options.ticks.detect = options.ticks.autoRefresh = 3600000;
        auto device = std::make_unique<CountingTwoSlot>((dir / "box").string());
        counter = device.get();
        window = std::make_unique<MainWindow>(std::make_unique<EmulatorBackend>(std::move(device)),
                                              options);
        PresenterOf(*window).DetectDeviceTick();
    }
    ~Rig() {
        window.reset();
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    fs::path dir;
    FixedPrompter prompter;
    NoWaitClock clock;
    CountingTwoSlot* counter = nullptr;
    std::unique_ptr<MainWindow> window;
};

void Refresh(benchmark::State& state, bool verified) {
    Rig rig;
    PresenterOf(*rig.window).Session().Config().VerifyTransfers = verified ? 1 : 0;
    uint64_t refreshes = 0;
    for (auto _ : state) {
        rig.counter->reads = 0;
        rig.counter->seen.reset();
        PresenterOf(*rig.window).RefreshCommand(CardPlace::Slot1);
        ++refreshes;
    }
    const double distinct = double(rig.counter->seen.count());
    state.counters["savers"] =
        PresenterOf(*rig.window).Session().Volume(CardPlace::Slot1).ListedCount();
    state.counters["block_reads"] = double(rig.counter->reads);
    state.counters["distinct_blocks"] = distinct;
    state.counters["reads_per_block"] = double(rig.counter->reads) / distinct;
    if (!PresenterOf(*rig.window).Session().Loaded(CardPlace::Slot1) || rig.prompter.messages > 0 ||
        refreshes == 0)
        state.SkipWithError("slot 1 did not load");
}

void BM_RefreshTwentySaversVerified(benchmark::State& s) {
    Refresh(s, true);
}
void BM_RefreshTwentySaversUnverified(benchmark::State& s) {
    Refresh(s, false);
}

} // namespace

BENCHMARK(BM_RefreshTwentySaversVerified)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RefreshTwentySaversUnverified)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
