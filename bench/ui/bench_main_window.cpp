// The main window, offscreen: refreshing the view of a full card image (100
// savers, 300 icon frames, each through "Bmp.bmp" and a picture load) and one
// state tick animating it.
#include "BenchStandIns.h"
#include "card/CardVolume.h"
#include "card/LoadVolume.h"
#include "link/emu/BoxDevice.h"
#include "link/emu/EmulatorBackend.h"
#include "qtbase/Prompter.h"
#include "ui/main/MainWindow.h"
#include "ui/main/UiClock.h"
#include "ui/widgets/CardView.h"

#include <QApplication>
#include <QCoreApplication>
#include <benchmark/benchmark.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>

namespace fs = std::filesystem;

namespace {

class TempDir {
  public:
    TempDir() {
        std::random_device rd;
        path_ = fs::temp_directory_path() / ("porvane-bench-ui-" + std::to_string(rd()));
        fs::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    std::string Path() const { return path_.string(); }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }

  private:
    fs::path path_;
};

// A 241-block card with 100 data savers of 3 icon frames. A frame takes a
// block, so 60 four-block chains fill the user area and the directory
// entries share them.
void MakeFullImage(const std::string& path) {
    auto vol = std::make_unique<CardVolume>();
    vol->SetPlace(CardPlace::Image);
    vol->OpenImage(path);
    vol->FormatVolume(241);
    LoadVolume(*vol);
    constexpr int kChains = 60;
    for (int i = 0; i < 100; ++i) {
        uint8_t chain[4];
        for (int b = 0; b < 4; ++b)
            chain[b] = static_cast<uint8_t>(240 - ((i % kChains) * 4 + b));
        SaverEntry& e = vol->Entries()[i];
        std::memset(e.Raw, 0, sizeof e.Raw);
        e.Raw[0] = SaverEntry::kTypeData;
        e.Raw[2] = chain[0];
        const std::string name = "SAVER" + std::to_string(i) + "            ";
        std::memcpy(e.Raw + 4, name.data(), 12);
        e.Raw[24] = 4;
        if (i >= kChains)
            continue;
        for (int b = 0; b < 4; ++b) {
            uint8_t block[512];
            for (int k = 0; k < 512; ++k)
                block[k] = static_cast<uint8_t>(k * 3 + b + i);
            if (b == 0) {
                block[0x40] = 3;
                block[0x41] = 0;
            }
            SwapWords(block);
            vol->WriteRawBlock(vol->Device(), chain[b], block);
            vol->Fat()[chain[b]] = b + 1 < 4 ? chain[b + 1] : CardVolume::kFatEnd;
        }
    }
    vol->WriteFat();
    vol->WriteDirectory();
    vol->CloseImage();
}

struct Rig {
    Rig() {
        MakeFullImage(dir / "full.dcm");
        std::ofstream(dir / "RUD2.cfg") << "888\r\n0\r\n0\r\n0\r\n9216\r\n0\r\n0\r\n";
        fs::create_directories(dir / "box");
        MainWindowOptions options;
        options.startDir = dir.Path();
        options.prompter = &prompter;
        options.clock = &clock;
        options.ticks.state = options.ticks.detect = options.ticks.autoRefresh = 3600000;
        window = std::make_unique<MainWindow>(
            std::make_unique<EmulatorBackend>(std::make_unique<TwoSlotDevice>(dir / "box")),
            options);
        PresenterOf(*window).Session().Volume(CardPlace::Image).OpenImage(dir / "full.dcm");
    }
    TempDir dir;
    FixedPrompter prompter;
    NoWaitClock clock;
    std::unique_ptr<MainWindow> window;
};

void BM_RefreshFullImage(benchmark::State& state) {
    Rig rig;
    for (auto _ : state)
        PresenterOf(*rig.window).ReadAgain(CardPlace::Image);
    state.counters["savers"] =
        PresenterOf(*rig.window).Session().Volume(CardPlace::Image).ListedCount();
    state.counters["pictures"] = PresenterOf(*rig.window).ViewOf(CardPlace::Image).PictureCount();
    if (!PresenterOf(*rig.window).Session().Loaded(CardPlace::Image) || rig.prompter.messages > 0)
        state.SkipWithError("the image did not load");
}
BENCHMARK(BM_RefreshFullImage)->Unit(benchmark::kMillisecond);

void BM_StateTickAnimatingFullImage(benchmark::State& state) {
    Rig rig;
    PresenterOf(*rig.window).ReadAgain(CardPlace::Image);
    for (auto _ : state)
        PresenterOf(*rig.window).StateTick();
    if (!PresenterOf(*rig.window).Session().Loaded(CardPlace::Image))
        state.SkipWithError("the image did not load");
}
BENCHMARK(BM_StateTickAnimatingFullImage)->Unit(benchmark::kMicrosecond);

// The same with the window shown, the repaint of the changed icons included.
void BM_StateTickAndPaint(benchmark::State& state) {
    Rig rig;
    rig.window->show();
    PresenterOf(*rig.window).ReadAgain(CardPlace::Image);
    QCoreApplication::processEvents();
    for (auto _ : state) {
        PresenterOf(*rig.window).StateTick();
        QCoreApplication::processEvents();
    }
    if (!PresenterOf(*rig.window).Session().Loaded(CardPlace::Image))
        state.SkipWithError("the image did not load");
}
BENCHMARK(BM_StateTickAndPaint)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
