// Whole-card transfers over the in-process emulated box with every delay 0,
// in both device modes. Reports time per card, port operations per block and
// the ratio of operations made to the least the protocol needs; the Verified
// ones go through the block store with verification on, and their ratio is
// to the least an unverified transfer needs.
#include "card/BlockCache.h"
#include "card/CardFeedback.h"
#include "card/CardVolume.h"
#include "link/LinkPort.h"
#include "link/emu/EmulatorBackend.h"
#include "settings/Settings.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

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

// The least a command can cost: data 1, one ready poll, control 1, one release
// poll, control 0; and 3 writes and 1 read per bit.
constexpr uint64_t MinOps(uint64_t commands, uint64_t bytes) {
    return commands * 5 + bytes * 32;
}
// Commands and bytes per block, from the command table.
constexpr uint64_t kChunkedReadMin = MinOps(10, 5 + 4 * 6 + 4 * 131 + 5);
constexpr uint64_t kChunkedWriteMin = MinOps(11, 5 + 4 * 131 + 4 * 6 + 5 + 5);
constexpr uint64_t kDirectReadMin = MinOps(1, 2 + 4 + 2 + 512 + 1);
constexpr uint64_t kDirectWriteMin = MinOps(4, 4 * (2 + 4 + 128 + 1));

struct Rig {
    explicit Rig(bool paged) {
        char name[] = "/tmp/porvane-bench-XXXXXX";
        dir = ::mkdtemp(name);
        std::vector<char> card(131072, '\x5A');
        const std::string file = paged ? dir + "/paged.bin" : dir + "/slot1.dcm";
        std::ofstream(file, std::ios::binary).write(card.data(), card.size());
        std::unique_ptr<BoxDevice> device;
        if (paged)
            device = std::make_unique<PagedDevice>(file);
        else
            device = std::make_unique<TwoSlotDevice>(dir);
        auto emulator = std::make_unique<EmulatorBackend>(std::move(device));
        inner = emulator.get();
        auto counting = std::make_unique<CountingBackend>(std::move(emulator));
        counter = counting.get();
        link = std::make_unique<LinkPort>(std::move(counting), nullptr);
        link->ShortDelay = link->LongDelay = link->LongestDelay = 0;
        link->DetectDevice();
    }
    ~Rig() { std::filesystem::remove_all(dir); }
    std::string dir;
    CountingBackend* counter;
    EmulatorBackend* inner;
    std::unique_ptr<LinkPort> link;
};

void Card(benchmark::State& state, bool paged, bool write, uint64_t minPerBlock,
          bool verified = false) {
    Rig rig(paged);
    Settings settings;
    SilentCardFeedback ui;
    CardVolume volume;
    volume.SetPlace(CardPlace::Slot1);
    volume.Store().SetLink(rig.link.get());
    volume.Store().SetConfig(&settings);
    volume.Store().SetFeedback(&ui);
    uint8_t block[512] = {};
    uint64_t blocks = 0;
    rig.counter->ops = 0;
    for (auto _ : state) {
        // New bytes every round: a verified write skips what the card holds.
        std::memset(block, static_cast<int>(blocks / 256), sizeof block);
        for (int b = 0; b < 256; ++b) {
            bool ok = false;
            if (verified)
                ok = write ? volume.WriteRawBlock(0, uint8_t(b), block)
                           : volume.ReadRawBlock(0, uint8_t(b), block);
            else
                ok = write ? rig.link->WriteBlock(0, uint8_t(b), block)
                           : rig.link->ReadBlock(0, uint8_t(b), block);
            if (!ok)
                state.SkipWithError("block transfer failed");
        }
        blocks += 256;
    }
    const double perBlock = double(rig.counter->ops) / double(blocks);
    state.counters["ops_per_block"] = perBlock;
    state.counters["min_ops_per_block"] = double(minPerBlock);
    state.counters["ops_ratio"] = perBlock / double(minPerBlock);
}

void BM_ChunkedReadCard(benchmark::State& s) {
    Card(s, false, false, kChunkedReadMin);
}
void BM_ChunkedWriteCard(benchmark::State& s) {
    Card(s, false, true, kChunkedWriteMin);
}
void BM_DirectReadCard(benchmark::State& s) {
    Card(s, true, false, kDirectReadMin);
}
void BM_DirectWriteCard(benchmark::State& s) {
    Card(s, true, true, kDirectWriteMin);
}
void BM_VerifiedChunkedReadCard(benchmark::State& s) {
    Card(s, false, false, kChunkedReadMin, true);
}
void BM_VerifiedChunkedWriteCard(benchmark::State& s) {
    Card(s, false, true, kChunkedWriteMin, true);
}
void BM_VerifiedDirectReadCard(benchmark::State& s) {
    Card(s, true, false, kDirectReadMin, true);
}
void BM_VerifiedDirectWriteCard(benchmark::State& s) {
    Card(s, true, true, kDirectWriteMin, true);
}

// Verified writes on the paged card that change one quarter of each block:
// in a command that has read the block (its bytes known, so one quarter goes
// out), or not; on a box that answers bit 0 of its checksum, or one that
// answers it wrong (then each block is looked at before it is written). The
// ratio is to the least a whole-block write needs; the read of the known
// block is the command's, not the write's, and is not counted.
void DirectOneQuarter(benchmark::State& state, bool known, bool bitZero) {
    Rig rig(true);
    Settings settings;
    SilentCardFeedback ui;
    CardVolume volume;
    volume.SetPlace(CardPlace::Slot1);
    volume.Store().SetLink(rig.link.get());
    volume.Store().SetConfig(&settings);
    volume.Store().SetFeedback(&ui);
    if (!bitZero)
        rig.inner->Box().Faults().checksumXor = 0x01;
    uint8_t block[512] = {};
    uint64_t ops = 0;
    uint64_t blocks = 0;
    for (auto _ : state) {
        BlockCacheScope command(volume);
        for (int b = 0; b < 256; ++b) {
            if (known && !volume.ReadRawBlock(0, uint8_t(b), block))
                state.SkipWithError("block read failed");
            if (!known)
                std::memset(block, 0x5A, sizeof block); // what the card holds
            block[300] = static_cast<uint8_t>(block[300] + 1);
            const uint64_t start = rig.counter->ops;
            if (!volume.WriteRawBlock(0, uint8_t(b), block))
                state.SkipWithError("block write failed");
            ops += rig.counter->ops - start;
            std::memset(block + 300, 0x5A, 1);
            if (!known && !volume.WriteRawBlock(0, uint8_t(b), block)) // put back
                state.SkipWithError("block write failed");
        }
        blocks += 256;
    }
    state.counters["ops_per_block"] = double(ops) / double(blocks);
    state.counters["ops_ratio"] = double(ops) / double(blocks) / double(kDirectWriteMin);
}

void BM_VerifiedDirectQuarterKnown(benchmark::State& s) {
    DirectOneQuarter(s, true, true);
}
void BM_VerifiedDirectQuarterUnknown(benchmark::State& s) {
    DirectOneQuarter(s, false, true);
}
void BM_VerifiedDirectQuarterUnknownNoBitZero(benchmark::State& s) {
    DirectOneQuarter(s, false, false);
}

} // namespace

BENCHMARK(BM_VerifiedDirectQuarterKnown)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VerifiedDirectQuarterUnknown)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VerifiedDirectQuarterUnknownNoBitZero)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChunkedReadCard)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChunkedWriteCard)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DirectReadCard)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DirectWriteCard)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VerifiedChunkedReadCard)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VerifiedChunkedWriteCard)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VerifiedDirectReadCard)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VerifiedDirectWriteCard)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
