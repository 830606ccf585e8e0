// Listing a full card and copying a large saver, on image files and over the
// emulated link box with delay counts 0.
#include "card/CardCheck.h"
#include "card/CardFeedback.h"
#include "card/CardVolume.h"
#include "card/LoadVolume.h"
#include "card/ReplaceSaver.h"
#include "card/TransferEngine.h"
#include "link/LinkOption.h"
#include "link/LinkPort.h"
#include "settings/Settings.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <string>

namespace fs = std::filesystem;

namespace {

class TempDir {
  public:
    TempDir() {
        std::random_device rd;
        path_ = fs::temp_directory_path() / ("porvane-bench-" + std::to_string(rd()));
        fs::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }

  private:
    fs::path path_;
};

// Puts a data saver of `blocks` blocks with `frames` icon frames into
// directory entry `entry`, its chain given in chain[], header first.
void PlaceSaver(CardVolume& vol, int entry, const uint8_t* chain, int blocks, int frames,
                bool writeBlocks) {
    SaverEntry& e = vol.Entries()[entry];
    std::memset(e.Raw, 0, sizeof e.Raw);
    e.Raw[0] = SaverEntry::kTypeData;
    e.Raw[2] = chain[0];
    const std::string name = "SAVER" + std::to_string(entry) + "            ";
    std::memcpy(e.Raw + 4, name.data(), 12);
    const uint8_t stamp[8] = {0x20, 0x26, 0x12, 0x07, 0x20, 0x00, 0x00, 0x01};
    std::memcpy(e.Raw + 16, stamp, 8);
    e.Raw[24] = static_cast<uint8_t>(blocks);
    e.SizeBlocks = static_cast<uint16_t>(blocks);
    if (!writeBlocks)
        return;
    for (int b = 0; b < blocks; ++b) {
        uint8_t block[512];
        for (int i = 0; i < 512; ++i)
            block[i] = static_cast<uint8_t>(i * 3 + b + entry);
        if (b == 0) {
            std::memset(block, 'A' + entry % 26, 48);
            block[0x40] = static_cast<uint8_t>(frames);
            block[0x41] = 0;
        }
        SwapWords(block);
        vol.WriteRawBlock(vol.Device(), chain[b], block);
        vol.Fat()[chain[b]] = b + 1 < blocks ? chain[b + 1] : CardVolume::kFatEnd;
    }
}

// A 241-block card with 100 savers of 3 icon frames (300 frames). A frame
// takes a block, so 100 such savers cannot have chains of their own on one
// card: 60 four-block chains fill the user area and the directory entries
// share them.
void MakeFullImage(const std::string& path) {
    auto vol = std::make_unique<CardVolume>();
    vol->SetPlace(CardPlace::Image);
    vol->OpenImage(path);
    vol->FormatVolume(241);
    LoadVolume(*vol);
    constexpr int kChains = 60;
    uint8_t chains[kChains][4];
    for (int c = 0; c < kChains; ++c)
        for (int b = 0; b < 4; ++b)
            chains[c][b] = static_cast<uint8_t>(240 - (c * 4 + b));
    for (int i = 0; i < 100; ++i)
        PlaceSaver(*vol, i, chains[i % kChains], 4, 3, i < kChains);
    vol->WriteFat();
    vol->WriteDirectory();
    vol->CloseImage();
}

void BM_ListFullImage(benchmark::State& state) {
    TempDir dir;
    MakeFullImage(dir / "full.dcm");
    auto vol = std::make_unique<CardVolume>();
    vol->SetPlace(CardPlace::Image);
    vol->OpenImage(dir / "full.dcm");
    const std::string bmp = dir / "Bmp.bmp";
    int frames = 0;
    for (auto _ : state) {
        LoadVolume(*vol);
        frames = 0;
        for (int k = 0; k < vol->ListedCount(); ++k) {
            const int i = vol->ListMap()[k];
            for (int f = 0; f < vol->Entries()[i].ShownFrames(); ++f) {
                // Arg 1: the frame file is removed first instead of truncated,
                // which spares ext4 its flush of a file replaced by truncation.
                if (state.range(0) == 1)
                    std::remove(bmp.c_str());
                frames += vol->ExtractIcon(static_cast<uint8_t>(i), static_cast<uint16_t>(f), bmp);
            }
        }
    }
    state.counters["savers"] = vol->ListedCount();
    state.counters["frames"] = frames;
}
BENCHMARK(BM_ListFullImage)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The card check over the full card: 100 directory entries, every block of
// the user area reached, 40 pairs of savers sharing their chains.
void BM_CheckFullImage(benchmark::State& state) {
    TempDir dir;
    MakeFullImage(dir / "full.dcm");
    auto vol = std::make_unique<CardVolume>();
    vol->SetPlace(CardPlace::Image);
    vol->OpenImage(dir / "full.dcm");
    CardCheckReport report;
    for (auto _ : state) {
        CheckCard(*vol, report);
        benchmark::DoNotOptimize(report.problems.size());
    }
    state.counters["problems"] = static_cast<double>(report.problems.size());
}
BENCHMARK(BM_CheckFullImage)->Unit(benchmark::kMillisecond);

// A 100-block saver on source, destination empty.
void MakeCopyPair(CardVolume& source, CardVolume& destination) {
    source.FormatVolume(200);
    LoadVolume(source);
    uint8_t chain[100];
    for (int b = 0; b < 100; ++b)
        chain[b] = static_cast<uint8_t>(199 - b);
    PlaceSaver(source, 0, chain, 100, 1, true);
    source.WriteFat();
    source.WriteDirectory();
    LoadVolume(source);
    destination.FormatVolume(200);
}

void RunCopies(benchmark::State& state, CardVolume& source, CardVolume& destination) {
    for (auto _ : state) {
        state.PauseTiming();
        LoadVolume(destination);
        state.ResumeTiming();
        if (!CopySaver(source, 0, destination)) {
            state.SkipWithError("copy refused");
            break;
        }
        state.PauseTiming();
        // The copy's decoded fields are rebuilt by a listing, as after a refresh.
        LoadVolume(destination);
        DeleteSaver(destination, 0);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 100 * 512);
}

// Replacing a saver of the same name with the 100-block one: the checks, the
// owner map, one write-back of old and new.
void BM_ReplaceSaverBetweenImages(benchmark::State& state) {
    TempDir dir;
    auto source = std::make_unique<CardVolume>();
    auto destination = std::make_unique<CardVolume>();
    source->SetPlace(CardPlace::Image);
    destination->SetPlace(CardPlace::Image);
    source->OpenImage(dir / "a.dcm");
    destination->OpenImage(dir / "b.dcm");
    MakeCopyPair(*source, *destination);
    LoadVolume(*destination);
    if (!CopySaver(*source, 0, *destination)) {
        state.SkipWithError("copy refused");
        return;
    }
    for (auto _ : state) {
        state.PauseTiming();
        LoadVolume(*destination);
        state.ResumeTiming();
        if (!ReplaceSaverByCopy(*source, 0, *destination, destination->ListMap()[0]).Done()) {
            state.SkipWithError("replace refused");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 100 * 512);
}
BENCHMARK(BM_ReplaceSaverBetweenImages)->Unit(benchmark::kMillisecond);

void BM_CopySaverBetweenImages(benchmark::State& state) {
    TempDir dir;
    auto source = std::make_unique<CardVolume>();
    auto destination = std::make_unique<CardVolume>();
    source->SetPlace(CardPlace::Image);
    destination->SetPlace(CardPlace::Image);
    source->OpenImage(dir / "a.dcm");
    destination->OpenImage(dir / "b.dcm");
    MakeCopyPair(*source, *destination);
    RunCopies(state, *source, *destination);
}
BENCHMARK(BM_CopySaverBetweenImages)->Unit(benchmark::kMillisecond);

void BM_CopySaverOverEmulatedBox(benchmark::State& state) {
    TempDir dir;
    {
        // Both slots start as blank images; the volumes format them over the link.
        CardVolume blank;
        blank.SetPlace(CardPlace::Image);
        blank.OpenImage(dir / "slot1.dcm");
        CardVolume blank2;
        blank2.SetPlace(CardPlace::Image);
        blank2.OpenImage(dir / "slot2.dcm");
    }
    std::string error;
    auto backend = MakePortBackend("emulator:" + dir / "", error);
    if (!backend) {
        state.SkipWithError(error.c_str());
        return;
    }
    ConsoleLinkHost host;
    LinkPort link(std::move(backend), &host);
    link.ShortDelay = link.LongDelay = link.LongestDelay = 0;
    if (!link.DetectDevice()) {
        state.SkipWithError("no emulated box");
        return;
    }
    Settings settings;
    SilentCardFeedback ui;
    auto source = std::make_unique<CardVolume>();
    auto destination = std::make_unique<CardVolume>();
    source->SetPlace(CardPlace::Slot1);
    destination->SetPlace(CardPlace::Slot2);
    for (CardVolume* v : {source.get(), destination.get()}) {
        v->Store().SetLink(&link);
        v->Store().SetConfig(&settings);
        v->Store().SetFeedback(&ui);
    }
    MakeCopyPair(*source, *destination);
    RunCopies(state, *source, *destination);
}
BENCHMARK(BM_CopySaverOverEmulatedBox)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
