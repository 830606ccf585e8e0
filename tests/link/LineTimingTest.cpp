// The emulated box at a real box's pace: its modelled clock, and the bits a
// box that needs time misreads when the host hurries.
#include "link/support/LinkTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace linktest;

namespace {

// Slot 1 of the unit, its link at the bar's counts; the model when given.
struct TimedUnit {
    TimedUnit(const LineTiming* timing, int32_t bar) : card(PatternCard(7)) {
        WriteFileBytes(dir.Path() / "slot1.dcm", card);
        auto emu =
            std::make_unique<EmulatorBackend>(std::make_unique<TwoSlotDevice>(dir.Path().string()));
        emulator = emu.get();
        link = FastLink(std::move(emu));
        link->DetectDevice();
        if (timing != nullptr)
            emulator->UseTiming(*timing);
        link->ShortDelay = bar < 0 ? bar : bar / 16;
        link->LongDelay = bar;
        link->LongestDelay = bar < 0 ? bar : bar * 3 / 2;
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

TEST(LineTiming, TheClockChargesAccessesAndDelaysAndAHurriedBoxMisreads) {
    // Unless asked for, the box keeps no time.
    TimedUnit quick(nullptr, 0);
    EXPECT_EQ(quick.emulator->ModelledNs(), -1);
    EXPECT_TRUE(quick.ReadsRight(3));

    // Port accesses of 1 us, a delay loop of 1 ns. With no delay (a negative
    // count) and a box that needs nothing a chunked read is its port
    // operations: 10 commands of 5 and 558 bytes of 32. With the bar at 16,
    // two longest counts a bit, a long count a byte, and per command the
    // ready poll's long count, the release poll's short one and a long one.
    LineTiming timing;
    timing.loopNs = 1;
    for (int32_t bar : {-1, 16}) {
        TimedUnit unit(&timing, bar);
        const int64_t start = unit.link->ClockNs();
        ASSERT_TRUE(unit.ReadsRight(3));
        const int64_t delays = bar < 0 ? 0 : 558 * 8 * 2 * 25 + 558 * 17 + 10 * (17 + 2 + 17);
        EXPECT_EQ(unit.link->ClockNs() - start, (10 * 5 + 558 * 32) * int64_t{1000} + delays);
    }

    // A bit's clock edge comes 1 us plus the longest delay after the one
    // before; a byte's first bit 3 us plus the longest and the long delay
    // after the byte before.
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
        timing.bitSettleNs = c.bitNs;
        timing.byteSettleNs = c.byteNs;
        TimedUnit unit(&timing, c.bar);
        EXPECT_EQ(unit.ReadsRight(3) && unit.ReadsRight(200), c.right)
            << c.bitNs << " " << c.byteNs << " " << c.bar;
    }
}
