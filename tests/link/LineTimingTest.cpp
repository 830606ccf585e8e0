// The emulated box at a real box's pace: its modelled clock, and the bits a
// box that needs time misreads when the host hurries.
#include "link/support/LinkTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace linktest;

namespace {

struct TimedUnit {
    explicit TimedUnit(const LineTiming* timing) {
        card = PatternCard(7);
        WriteFileBytes(dir.Path() / "slot1.dcm", card);
        auto emu =
            std::make_unique<EmulatorBackend>(std::make_unique<TwoSlotDevice>(dir.Path().string()));
        emulator = emu.get();
        link = FastLink(std::move(emu));
        link->DetectDevice();
        if (timing != nullptr)
            emulator->UseTiming(*timing);
    }
    // The counts of the speed bar at value bar.
    void Bar(int32_t bar) {
        link->ShortDelay = bar / 16;
        link->LongDelay = bar;
        link->LongestDelay = bar * 3 / 2;
    }
    bool ReadsRight(uint8_t block) {
        uint8_t out[512];
        return link->ReadBlock(0, block, out) && std::memcmp(out, &card[block * 512u], 512) == 0;
    }
    TempDir dir;
    std::vector<uint8_t> card;
    EmulatorBackend* emulator;
    std::unique_ptr<LinkPort> link;
};

} // namespace

TEST(LineTiming, TheClockCountsEveryAccessAndEverySkippedDelay) {
    // Unless asked for, the box keeps no time.
    TimedUnit quick(nullptr);
    EXPECT_EQ(quick.emulator->ModelledNs(), -1);
    EXPECT_TRUE(quick.ReadsRight(3));

    LineTiming timing;
    timing.loopNs = 1;
    TimedUnit unit(&timing);
    // No delay (a negative count spins nothing) and a box that needs
    // nothing: one ready and one release poll a command, 3 writes and a read
    // a bit. A chunked read is 10 commands and 558 bytes.
    unit.link->ShortDelay = unit.link->LongDelay = unit.link->LongestDelay = -1;
    int64_t start = unit.link->ClockNs();
    ASSERT_TRUE(unit.ReadsRight(3));
    EXPECT_EQ(unit.link->ClockNs() - start, (10 * 5 + 558 * 32) * int64_t{1000});
    // With delays: two longest counts a bit, a long count a byte, and a
    // command's ready poll, release poll and handshake end.
    unit.link->ShortDelay = 0;
    unit.link->LongDelay = 10;
    unit.link->LongestDelay = 100;
    start = unit.link->ClockNs();
    ASSERT_TRUE(unit.ReadsRight(3));
    EXPECT_EQ(unit.link->ClockNs() - start,
              (10 * 5 + 558 * 32) * int64_t{1000} + 558 * 8 * 2 * 101 + 558 * 11 + 10 * 23);
}

TEST(LineTiming, ABoxMisreadsWhatComesFasterThanItNeeds) {
    // Port accesses of 1 us, a delay loop of 1 ns. Per bit the box's edge
    // comes 1 us plus the longest delay after the one before; a byte's first
    // bit 3 us plus the longest and the long delay after the byte before.
    const struct {
        int64_t bitNs;
        int64_t byteNs;
        int32_t bar;
        bool right;
    } cases[] = {
        {3000, 0, 1333, true},  // longest 1999: 1 us + 2000 ns
        {3000, 0, 1300, false}, // longest 1950: 49 ns short
        {0, 6000, 1200, true},  // 3 us + 1801 + 1201 ns
        {0, 6000, 1190, false}, // 3 us + 1786 + 1191 ns
    };
    for (const auto& c : cases) {
        LineTiming timing;
        timing.loopNs = 1;
        timing.bitSettleNs = c.bitNs;
        timing.byteSettleNs = c.byteNs;
        TimedUnit unit(&timing);
        unit.Bar(c.bar);
        EXPECT_EQ(unit.ReadsRight(3) && unit.ReadsRight(200), c.right)
            << c.bitNs << " " << c.byteNs << " " << c.bar;
    }
}
