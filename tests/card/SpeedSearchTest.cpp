// Finding the link's speed, against an emulated box that keeps the wire's
// time and misreads what comes faster than it needs.
#include "card/SpeedSearch.h"
#include "card/support/EngineSupport.h"
#include "link/LinkPort.h"
#include "link/emu/EmulatorBackend.h"
#include "settings/Settings.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace engine_test;

namespace {

// Port accesses of 1 us, a delay loop of 0.5 ns, and a box that needs 3 us
// after each clock edge: the falling edge's wait of 1 us plus the longest
// count (1.5 times the bar) must reach it, so the bar must be 2666 at least.
constexpr int32_t kBoxBar = 2666;

struct Box {
    Box(bool paged, int64_t bitSettleNs, bool cards = true) {
        CardVolume image;
        EXPECT_TRUE(MakeImage(image, dir.File("card.dcm")));
        PlaceSaver(image, 0, Name12("SAVER"), 0x33, {199, 198, 197}, 9);
        image.CloseImage();
        card = ReadFileBytes(dir.File("card.dcm"));
        std::filesystem::create_directories(dir.File("box"));
        std::unique_ptr<BoxDevice> device;
        if (paged) {
            WriteFileBytes(dir.File("box/paged.bin"), card);
            device = std::make_unique<PagedDevice>(dir.File("box/paged.bin"));
        } else {
            if (cards)
                WriteFileBytes(dir.File("box/slot1.dcm"), card);
            device = std::make_unique<TwoSlotDevice>(dir.File("box"));
        }
        auto emulator = std::make_unique<EmulatorBackend>(std::move(device));
        LineTiming timing;
        timing.loopNs = 0.5;
        timing.bitSettleNs = bitSettleNs;
        emulator->UseTiming(timing);
        box = &emulator->Box();
        link = std::make_unique<LinkPort>(std::move(emulator), nullptr);
    }
    std::string File() { return dir.File(link->DirectMode ? "box/paged.bin" : "box/slot1.dcm"); }
    // Modelled nanoseconds of one block read at the bar's counts.
    int64_t BlockNs(int32_t bar) {
        DelayCounts::FromBar(bar).ApplyTo(*link);
        uint8_t block[512];
        const int64_t start = link->ClockNs();
        EXPECT_TRUE(link->ReadBlock(0, 250, block));
        return link->ClockNs() - start;
    }
    TempDir dir;
    std::vector<uint8_t> card;
    LinkBox* box;
    std::unique_ptr<LinkPort> link;
};

} // namespace

TEST(SpeedSearch, FindsTheBoxsPaceWithItsMarginAndWritesNothing) {
    for (bool paged : {false, true}) {
        SCOPED_TRACE(paged ? "paged card" : "two-slot unit");
        Box box(paged, 3000);
        const DelayCounts linkCounts = DelayCounts::Of(*box.link);
        Settings settings;
        const SpeedResult result = FindLinkSpeed(*box.link, settings);
        ASSERT_TRUE(result.Found());
        EXPECT_EQ(DelayCounts::Of(*box.link), linkCounts);
        // Never below what the box needs, and within the search's 1/64.
        EXPECT_GE(result.fastest, kBoxBar);
        EXPECT_LE(result.fastest, kBoxBar + kBoxBar / 64 + 1);
        EXPECT_EQ(result.bar, result.fastest + result.fastest / 4);
        EXPECT_EQ(result.found, DelayCounts::FromBar(result.bar));
        EXPECT_LE(box.BlockNs(result.bar), 1.3 * box.BlockNs(kBoxBar));
        EXPECT_GT(result.beforeBlockNs, result.foundBlockNs);
        EXPECT_EQ(
            SpeedReport(result, true)
                .rfind("Old: short 0100, long 1200, longest 1B00 (a 20-saver refresh about ", 0),
            0u);

        // Read only: the card as it was, nothing written to it. At the
        // counts found every block reads, and a block writes, right.
        EXPECT_EQ(box.box->Tally().commits + box.box->Tally().quarterWrites, 0u);
        EXPECT_TRUE(ReadFileBytes(box.File()) == box.card);
        result.found.ApplyTo(*box.link);
        std::vector<uint8_t> read(box.card.size());
        for (int b = 0; b < 256; ++b)
            ASSERT_TRUE(box.link->ReadBlock(0, static_cast<uint8_t>(b), &read[b * 512u]));
        EXPECT_TRUE(read == box.card);
        ASSERT_TRUE(box.link->WriteBlock(0, 100, &box.card[7 * 512]));
        EXPECT_TRUE(FileBlock(box.File(), 100) == FileBlock(box.File(), 7));
    }
}

TEST(SpeedSearch, NoBoxNoCardOrABoxThatErrsLeaveTheCountsAsTheyWere) {
    const struct {
        bool noBox;
        bool cards;
        int64_t bitSettleNs;
        SpeedOutcome outcome;
        const char* says;
    } cases[] = {
        {true, true, 0, SpeedOutcome::NoBox, "No link box answers"},
        {false, false, 0, SpeedOutcome::NoCard, "There is no card in the box"},
        // The slowest bar, 9216, waits 1 us + 6.9 us.
        {false, true, 10000, SpeedOutcome::ErrsAtSlowest, "even at the slowest counts"},
    };
    for (const auto& c : cases) {
        Box box(false, c.bitSettleNs, c.cards);
        box.box->Faults().noBox = c.noBox;
        box.link->BasePort = 632;
        const DelayCounts linkCounts = DelayCounts::Of(*box.link);
        Settings settings;
        const SpeedResult result = FindLinkSpeed(*box.link, settings);
        EXPECT_EQ(result.outcome, c.outcome) << c.says;
        EXPECT_EQ(DelayCounts::Of(*box.link), linkCounts);
        EXPECT_EQ(box.link->BasePort, 632);
        const std::string report = SpeedReport(result, true);
        EXPECT_NE(report.find(c.says), std::string::npos) << report;
        EXPECT_NE(report.find("stay as they were"), std::string::npos) << report;
    }
}
