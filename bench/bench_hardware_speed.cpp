// The link at a real box's pace: the emulated two-slot unit keeps the wire's
// time (link/emu/LineTiming.h: every port access 1 us, every delay the link
// would spin costs its loop count at this processor's measured pace) and
// needs kBitSettleNs after each clock edge, misreading what comes sooner.
// Each case runs, verified, as porvane-cli or the window runs it, and
// reports modelled seconds:
//   default_s  at the default counts (the bar at 4608),
//   found_s    at the counts FindLinkSpeed finds for this box,
//   floor_s    at the fastest counts this box reads right (what it needs),
//   min_s      with no delay and a box that needs nothing: the port
//              operations alone,
// and found_s over min_s and over floor_s. Real time says nothing here: the
// modelled clock is what a user with a box would wait.
//
// Cards: refresh of 1 and 20 savers of 4 blocks (three icon frames) and of
// 100 savers of 2 blocks (one frame); save and upload of a whole card;
// porvane-cli copy of a 100-block saver (both listings, the checks, the
// copy); porvane-cli delete of one saver of 20 (listing, check, history).
#include "BenchSaverDci.h"
#include "card/BlockCache.h"
#include "card/CardFeedback.h"
#include "card/CardImage.h"
#include "card/CardJournal.h"
#include "card/CardListing.h"
#include "card/CardVolume.h"
#include "card/DciFile.h"
#include "card/LoadVolume.h"
#include "card/SpeedSearch.h"
#include "card/TransferEngine.h"
#include "link/LinkPort.h"
#include "link/emu/EmulatorBackend.h"
#include "settings/Settings.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int64_t kBitSettleNs = 2000;
constexpr int32_t kDefaultBar = 4608;

using Bytes = std::vector<char>;

// A formatted card image holding count savers as BenchSaverDci makes them.
Bytes Card(const fs::path& scratch, int count, int blocks, int frames) {
    const fs::path image = scratch / "card.dcm";
    const fs::path dci = scratch / "saver.dci";
    fs::remove(image);
    {
        auto vol = std::make_unique<CardVolume>();
        vol->SetPlace(CardPlace::Image);
        vol->OpenImage(image.string());
        vol->FormatVolume(200);
        LoadVolume(*vol);
        for (int i = 0; i < count; ++i) {
            const Bytes bytes = BenchSaverDci("SAVER" + std::to_string(100 + i), blocks, frames, i);
            std::ofstream(dci, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
            ImportDci(dci.string(), *vol);
            ListSavers(*vol);
        }
        vol->CloseImage();
    }
    std::ifstream in(image, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

enum class Pace { Default, Found, Floor, Minimum };

// Two slots on the modelled wire, their volumes, and a scratch folder.
struct Rig {
    Rig(const Bytes& slot1, const Bytes& slot2, Pace pace, int32_t bar) {
        dir = fs::temp_directory_path() /
              ("porvane-bench-hw-" + std::to_string(std::random_device{}()));
        fs::create_directories(dir / "box");
        std::ofstream(dir / "box/slot1.dcm", std::ios::binary).write(slot1.data(), 131072);
        std::ofstream(dir / "box/slot2.dcm", std::ios::binary).write(slot2.data(), 131072);
        auto emulator = std::make_unique<EmulatorBackend>(
            std::make_unique<TwoSlotDevice>((dir / "box").string()));
        LineTiming timing;
        timing.bitSettleNs = pace == Pace::Minimum ? 0 : kBitSettleNs;
        emulator->UseTiming(timing);
        link = std::make_unique<LinkPort>(std::move(emulator), nullptr);
        // No delay at all for the port operations alone (a negative count
        // spins nothing).
        link->ShortDelay = link->LongDelay = link->LongestDelay = -1;
        if (pace != Pace::Minimum)
            DelayCounts::FromBar(bar).ApplyTo(*link);
        link->DetectDevice();
        journal = std::make_unique<CardJournal>(dir.string());
        for (int k = 0; k < 2; ++k) {
            volumes[k].SetPlace(kCardPlaces[static_cast<size_t>(k)]);
            volumes[k].Store().SetLink(link.get());
            volumes[k].Store().SetConfig(&settings);
            volumes[k].Store().SetFeedback(&ui);
            volumes[k].Store().SetRecorder(journal.get());
        }
    }
    ~Rig() {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    fs::path dir;
    Settings settings;
    SilentCardFeedback ui;
    std::unique_ptr<LinkPort> link;
    std::unique_ptr<CardJournal> journal;
    CardVolume volumes[2];
};

// The window's refresh: the listing, then every icon frame of every saver.
bool Refresh(Rig& rig) {
    CardVolume& v = rig.volumes[0];
    BlockCacheScope command(v);
    if (!LoadVolume(v))
        return false;
    for (int k = 0; k < v.ListedCount(); ++k) {
        const uint8_t entry = v.ListMap()[k];
        for (uint16_t f = 0; f < v.Entries()[entry].IconCount; ++f) {
            if (!v.ExtractIcon(entry, f, (rig.dir / "frame.bmp").string()))
                return false;
        }
    }
    return true;
}

struct Cards {
    explicit Cards(const fs::path& scratch) {
        empty = Card(scratch, 0, 1, 0);
        one = Card(scratch, 1, 4, 3);
        twenty = Card(scratch, 20, 4, 3);
        hundred = Card(scratch, 100, 2, 1);
        big = Card(scratch, 1, 100, 1);
    }
    Bytes empty, one, twenty, hundred, big;
};

struct Case {
    const Bytes* slot1;
    const Bytes* slot2;
    std::function<bool(Rig&)> run;
};

// The counts the search finds for the box, and the fastest it reads right
// at, found once.
struct Paces {
    int32_t found = 0;
    int32_t floor = 0;
};

bool ReadsRight(const Bytes& card, int32_t bar) {
    Rig rig(card, card, Pace::Floor, bar);
    uint8_t block[512];
    for (int b = 241; b < 256; ++b) {
        if (!rig.link->ReadBlock(0, static_cast<uint8_t>(b), block) ||
            std::memcmp(block, card.data() + 512 * b, 512) != 0)
            return false;
    }
    return true;
}

const Paces& FoundPaces(const Bytes& card) {
    static const Paces paces = [&] {
        Paces p;
        Rig rig(card, card, Pace::Default, kDefaultBar);
        Settings settings;
        const SpeedResult result = FindLinkSpeed(*rig.link, settings);
        p.found = result.Found() ? result.bar : kDefaultBar;
        int32_t bad = -1;
        int32_t good = 9216;
        while (good - bad > 1) {
            const int32_t mid = bad + (good - bad) / 2;
            (ReadsRight(card, mid) ? good : bad) = mid;
        }
        p.floor = good;
        return p;
    }();
    return paces;
}

const Cards& TheCards() {
    static const Cards cards = [] {
        const fs::path scratch =
            fs::temp_directory_path() /
            ("porvane-bench-hw-cards-" + std::to_string(std::random_device{}()));
        fs::create_directories(scratch);
        Cards made(scratch);
        fs::remove_all(scratch);
        return made;
    }();
    return cards;
}

void Measure(benchmark::State& state, const Case& c) {
    const Paces& paces = FoundPaces(TheCards().twenty);
    double seconds[4] = {};
    for (auto _ : state) {
        const Pace order[] = {Pace::Default, Pace::Found, Pace::Floor, Pace::Minimum};
        for (Pace pace : order) {
            const int32_t bar = pace == Pace::Default ? kDefaultBar
                                : pace == Pace::Found ? paces.found
                                                      : paces.floor;
            Rig rig(*c.slot1, *c.slot2, pace, bar);
            const int64_t start = rig.link->ClockNs();
            if (!c.run(rig))
                state.SkipWithError("the transfer failed");
            seconds[static_cast<int>(pace)] = double(rig.link->ClockNs() - start) / 1e9;
        }
    }
    const double found = seconds[static_cast<int>(Pace::Found)];
    state.counters["default_s"] = seconds[static_cast<int>(Pace::Default)];
    state.counters["found_s"] = found;
    state.counters["floor_s"] = seconds[static_cast<int>(Pace::Floor)];
    state.counters["min_s"] = seconds[static_cast<int>(Pace::Minimum)];
    state.counters["found_over_min"] = found / seconds[static_cast<int>(Pace::Minimum)];
    state.counters["found_over_floor"] = found / seconds[static_cast<int>(Pace::Floor)];
    state.counters["found_bar"] = paces.found;
    state.counters["floor_bar"] = paces.floor;
    state.counters["loop_ns"] = MeasuredLoopNs();
}

void BM_Refresh1(benchmark::State& s) {
    Measure(s, {&TheCards().one, &TheCards().empty, Refresh});
}
void BM_Refresh20(benchmark::State& s) {
    Measure(s, {&TheCards().twenty, &TheCards().empty, Refresh});
}
void BM_Refresh100(benchmark::State& s) {
    Measure(s, {&TheCards().hundred, &TheCards().empty, Refresh});
}
void BM_SaveCard(benchmark::State& s) {
    Measure(s, {&TheCards().twenty, &TheCards().empty, [](Rig& rig) {
                    return SaveCardImage((rig.dir / "saved.dcm").string(), rig.volumes[0]);
                }});
}
void BM_UploadCard(benchmark::State& s) {
    Measure(s, {&TheCards().empty, &TheCards().empty, [](Rig& rig) {
                    const fs::path in = rig.dir / "in.dcm";
                    std::ofstream(in, std::ios::binary).write(TheCards().twenty.data(), 131072);
                    return UploadCardImage(in.string(), rig.volumes[0]);
                }});
}
void BM_Copy100Blocks(benchmark::State& s) {
    Measure(s, {&TheCards().big, &TheCards().empty, [](Rig& rig) {
                    CardVolume* from = &rig.volumes[0];
                    CardVolume* to = &rig.volumes[1];
                    return LoadVolume(*from, nullptr, false) && LoadVolume(*to, nullptr, false) &&
                           CopySaver(*from, from->ListMap()[0], *to);
                }});
}
void BM_DeleteOneOfTwenty(benchmark::State& s) {
    Measure(s, {&TheCards().twenty, &TheCards().empty, [](Rig& rig) {
                    CardVolume& v = rig.volumes[0];
                    BlockCacheScope command(v);
                    return LoadVolume(v, nullptr, false) && DeleteSaver(v, v.ListMap()[5]);
                }});
}

} // namespace

BENCHMARK(BM_Refresh1)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_Refresh20)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_Refresh100)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_SaveCard)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_UploadCard)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_Copy100Blocks)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_DeleteOneOfTwenty)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK_MAIN();
