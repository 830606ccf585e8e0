// Whole cards through the main window, offscreen, on the in-process emulated
// box with the demo cards and the default delay counts of a fresh "RUD2.cfg":
// "Save as DCM file" of slot 1 (its refresh, then every block read, twice
// with verified transfers) and "Upload DCM file" of that image onto slot 2
// (every block written and read back). The delay counts pace a real line
// only, so these show what the emulated box costs in itself.
#include "BenchStandIns.h"
#include "card/DemoCards.h"
#include "link/LinkPort.h"
#include "link/emu/BoxDevice.h"
#include "link/emu/EmulatorBackend.h"
#include "ui/commands/DcmCommands.h"
#include "ui/main/MainWindow.h"

#include <QApplication>
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <random>
#include <string>

namespace fs = std::filesystem;

namespace {

// Answers Yes, and names the one image file for every file dialog.
class ImagePrompter : public FixedPrompter {
  public:
    explicit ImagePrompter(QString path) : FixedPrompter(true), path_(std::move(path)) {}
    QString OpenFile(const FileDialogSetup&) override { return path_; }
    QString SaveFile(const FileDialogSetup&) override { return path_; }

  private:
    QString path_;
};

struct Rig {
    Rig()
        : dir(fs::temp_directory_path() /
              ("porvane-bench-box-" + std::to_string(std::random_device{}()))),
          prompter(QString::fromStdString((dir / "card.dcm").string())) {
        fs::create_directories(dir / "box");
        EnsureDemoCards((dir / "box").string());
        MainWindowOptions options;
        options.startDir = dir.string(); // a fresh RUD2.cfg: the default delays
        options.prompter = &prompter;
        options.ticks.state = options.ticks.detect = options.ticks.autoRefresh = 3600000;
        window = std::make_unique<MainWindow>(
            std::make_unique<EmulatorBackend>(
                std::make_unique<TwoSlotDevice>((dir / "box").string())),
            options);
        PresenterOf(*window).DetectDeviceTick();
        PresenterOf(*window).ReadAgain(CardPlace::Slot1);
        PresenterOf(*window).ReadAgain(CardPlace::Slot2);
        dcm = std::make_unique<DcmCommands>(PresenterOf(*window));
    }
    ~Rig() {
        dcm.reset();
        window.reset();
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    bool Ready() const {
        return PresenterOf(*window).Session().Loaded(CardPlace::Slot1) &&
               PresenterOf(*window).Session().Loaded(CardPlace::Slot2) &&
               PresenterOf(*window).Session().Config().LongestDelay > 0;
    }
    fs::path dir;
    ImagePrompter prompter;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<DcmCommands> dcm;
};

void BM_SaveSlotAsDcm(benchmark::State& state) {
    Rig rig;
    if (!rig.Ready()) {
        state.SkipWithError("the demo cards did not load");
        return;
    }
    for (auto _ : state) {
        fs::remove(rig.dir / "card.dcm");
        rig.dcm->SaveAs(CardPlace::Slot1);
    }
    if (fs::file_size(rig.dir / "card.dcm") != 131072 || rig.prompter.messages > 0)
        state.SkipWithError("the card was not saved");
    state.counters["LongestDelay"] = PresenterOf(*rig.window).Session().Config().LongestDelay;
}
BENCHMARK(BM_SaveSlotAsDcm)->Unit(benchmark::kMillisecond);

void BM_UploadDcm(benchmark::State& state) {
    Rig rig;
    rig.dcm->SaveAs(CardPlace::Slot1);
    if (!rig.Ready() || !fs::exists(rig.dir / "card.dcm")) {
        state.SkipWithError("the demo cards did not load");
        return;
    }
    for (auto _ : state)
        rig.dcm->Upload(CardPlace::Slot2);
    if (rig.prompter.messages > 0 || !PresenterOf(*rig.window).Session().Loaded(CardPlace::Slot2))
        state.SkipWithError("the upload failed");
}
BENCHMARK(BM_UploadDcm)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
