// A command over the link reads only what it needs: the same-card check
// reads each system block once, the history and the refresh after the
// command take what the command read, and a tool's export checks just the
// blocks that tell the saver's card.
#include "card/BlockCache.h"
#include "card/CardJournal.h"
#include "card/SaverOnCard.h"
#include "card/TransferEngine.h"
#include "card/support/EngineSupport.h"
#include "link/LinkPort.h"
#include "link/emu/EmulatorBackend.h"
#include "settings/Settings.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace engine_test;

namespace {

// Slot 1 of the emulated unit, verified, with a history: savers A (blocks
// 199, 198), B (197, 196) and, in the second directory block, C (195).
struct Slot {
    Slot() {
        std::filesystem::create_directories(dir.File("box"));
        CardVolume image;
        EXPECT_TRUE(MakeImage(image, dir.File("box/slot1.dcm")));
        PlaceSaver(image, 0, Name12("A"), 0x33, {199, 198}, 1);
        PlaceSaver(image, 1, Name12("B"), 0x33, {197, 196}, 2);
        PlaceSaver(image, 16, Name12("C"), 0x33, {195}, 3);
        image.CloseImage();
        auto emulator =
            std::make_unique<EmulatorBackend>(std::make_unique<TwoSlotDevice>(dir.File("box")));
        box = &emulator->Box();
        link = std::make_unique<LinkPort>(std::move(emulator), nullptr);
        link->ShortDelay = link->LongDelay = link->LongestDelay = 0;
        link->DetectDevice();
        journal = std::make_unique<CardJournal>(dir.Path().string());
        v.SetPlace(CardPlace::Slot1);
        v.Store().SetLink(link.get());
        v.Store().SetConfig(&settings);
        v.Store().SetRecorder(journal.get());
        BlockCacheScope command(v);
        EXPECT_TRUE(LoadVolume(v));
        box->Tally() = BoxTally{};
    }
    uint32_t Reads(int block) const { return box->Tally().timesRead[block]; }
    // Changes byte 31 of directory entry `entry` on the card itself.
    void TouchEntry(int entry) {
        auto bytes = ReadFileBytes(dir.File("box/slot1.dcm"));
        bytes[(253 - entry / 16) * 512u + (entry % 16) * 32 + 28] ^= 0x01;
        WriteFileBytes(dir.File("box/slot1.dcm"), bytes);
    }
    TempDir dir{};
    LinkBox* box;
    Settings settings;
    std::unique_ptr<LinkPort> link;
    std::unique_ptr<CardJournal> journal;
    CardVolume v;
};

} // namespace

TEST(CommandReads, ADeleteReadsEachSystemBlockOnceAndItsRefreshNoneAgain) {
    Slot slot;
    {
        BlockCacheScope command(slot.v);
        ASSERT_TRUE(DeleteSaver(slot.v, 0));
        // The refresh that ends the command, device detection first.
        ASSERT_TRUE(slot.link->DetectDevice());
        ASSERT_TRUE(LoadVolume(slot.v));
    }
    // The check's one read; the table and first directory block were
    // written and read back once.
    for (int b = 241; b <= 255; ++b)
        EXPECT_EQ(slot.Reads(b), b == 254 || b == 253 ? 2u : 1u) << b;
    // A's blocks once, verified, for the history's hash; the listing's
    // header reads of B and C.
    for (int b : {199, 198, 197, 195})
        EXPECT_EQ(slot.Reads(b), 2u) << b;
    EXPECT_EQ(slot.box->Tally().blockReads, 15u + 2 + 8);
    EXPECT_EQ(slot.journal->LastProblem(), "");
}

TEST(CommandReads, AToolsExportChecksTheSaversEntryTheWriteBackTheWholeListing) {
    Slot slot;
    EXPECT_TRUE(SaverStillOnCard(slot.v, 0, SaverCheck::Entry));
    EXPECT_EQ(slot.box->Tally().blockReads, 3u); // root, table, A's directory block
    EXPECT_TRUE(SaverStillOnCard(slot.v, 0));
    EXPECT_EQ(slot.box->Tally().blockReads, 3u + 15);
    // Another directory block changed: the export goes on, no write-back.
    slot.TouchEntry(16);
    EXPECT_TRUE(SaverStillOnCard(slot.v, 0, SaverCheck::Entry));
    EXPECT_FALSE(SaverStillOnCard(slot.v, 0));
    slot.TouchEntry(16);
    // The saver's own directory block changed: nothing at all.
    slot.TouchEntry(1);
    slot.v.Listing().Copy().changed = false;
    EXPECT_FALSE(SaverStillOnCard(slot.v, 0, SaverCheck::Entry));
    EXPECT_TRUE(slot.v.Listing().Copy().changed);
}
