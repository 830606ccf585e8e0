#include "card/TransferEngine.h"
#include "card/support/EngineSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <memory>

using namespace engine_test;

namespace {

// Copies from a (the source) to b (the destination); each side tells its own
// recorder.
class TransferEngineTest : public TwoImageTest {
  protected:
    void SetUp() override {
        TwoImageTest::SetUp();
        src_->Store().SetFeedback(&srcUi_);
        dst_->Store().SetFeedback(&dstUi_);
    }

    std::string SrcPath() const { return APath(); }
    std::string DstPath() const { return BPath(); }

    // Marks blocks as used in the destination by a saver the test does not
    // care about, leaving only `free` blocks free.
    void FillAllBut(CardVolume& v, const std::vector<int>& free) {
        std::vector<uint8_t> used;
        for (int b = v.UserBlocks() - 1; b >= 0; --b) {
            if (std::find(free.begin(), free.end(), b) == free.end())
                used.push_back(static_cast<uint8_t>(b));
        }
        PlaceSaver(v, 0, Name12("FILLER"), 0x33, used, 9);
    }

    RecordingFeedback srcUi_;
    RecordingFeedback dstUi_;
    std::unique_ptr<CardVolume>& src_ = a_;
    std::unique_ptr<CardVolume>& dst_ = b_;
};

TEST_F(TransferEngineTest, AllocationRunsDownThroughTheHighestFreeBlocks) {
    uint8_t first = 0;
    ASSERT_TRUE(AllocateChain(*dst_, 3, false, first));
    EXPECT_EQ(first, 199);
    EXPECT_EQ(ChainOf(*dst_, first), (std::vector<uint8_t>{199, 198, 197}));

    auto other = std::make_unique<CardVolume>();
    ASSERT_TRUE(MakeImage(*other, dir_.File("gaps.dcm")));
    FillAllBut(*other, {5, 17, 150});
    ASSERT_TRUE(AllocateChain(*other, 3, false, first));
    EXPECT_EQ(ChainOf(*other, first), (std::vector<uint8_t>{150, 17, 5}));

    // Four blocks wanted, three free in the table: refused, table untouched,
    // rather than a chain shorter than the directory size.
    ASSERT_TRUE(LoadVolume(*other));
    uint16_t before[256];
    std::copy(std::begin(other->Fat()), std::end(other->Fat()), before);
    EXPECT_FALSE(AllocateChain(*other, 4, false, first));
    EXPECT_TRUE(std::equal(std::begin(before), std::end(before), std::begin(other->Fat())));
}

TEST_F(TransferEngineTest, GameSaversTakeBlocksFromZeroOrNothing) {
    uint8_t first = 7;
    ASSERT_TRUE(AllocateChain(*dst_, 10, true, first));
    EXPECT_EQ(first, 0);
    EXPECT_EQ(ChainOf(*dst_, 0), (std::vector<uint8_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));

    ASSERT_TRUE(LoadVolume(*dst_));
    PlaceSaver(*dst_, 0, Name12("BLOCK3"), 0x33, {3}, 1);
    uint16_t before[256];
    std::copy(std::begin(dst_->Fat()), std::end(dst_->Fat()), before);
    EXPECT_FALSE(AllocateChain(*dst_, 10, true, first));
    EXPECT_TRUE(std::equal(std::begin(before), std::end(before), std::begin(dst_->Fat())));
}

TEST_F(TransferEngineTest, CopyPlacesDataSaverAtTheTopAndInTheLowestFreeEntry) {
    PlaceSaver(*src_, 4, Name12("RACE DATA"), 0x33, {10, 40, 3}, 1);
    PlaceSaver(*dst_, 0, Name12("KEEP A"), 0x33, {199}, 2);
    PlaceSaver(*dst_, 2, Name12("KEEP B"), 0x33, {198}, 3);

    std::string status;
    ASSERT_TRUE(CopySaver(*src_, 4, *dst_, [&](const std::string& s) { status = s; }));
    EXPECT_EQ(status, "      Copying");
    EXPECT_EQ(dstUi_.lastPosition, 0);

    ASSERT_TRUE(LoadVolume(*dst_));
    const SaverEntry& copy = dst_->Entries()[1];
    EXPECT_EQ(copy.Name, Name12("RACE DATA"));
    EXPECT_EQ(copy.Raw[2], 197);
    EXPECT_EQ(ChainOf(*dst_, 197), (std::vector<uint8_t>{197, 196, 195}));
    // Every other raw byte, creation time included, is the source's.
    for (int i = 0; i < 32; ++i) {
        if (i != 2) {
            EXPECT_EQ(copy.Raw[i], src_->Entries()[4].Raw[i]) << i;
        }
    }
    EXPECT_EQ(ChainBytes(*dst_, {197, 196, 195}), ChainBytes(*src_, {10, 40, 3}));
    // The source is never changed.
    EXPECT_EQ(ChainOf(*src_, 10), (std::vector<uint8_t>{10, 40, 3}));
}

TEST_F(TransferEngineTest, CopyChecksSizeAgainstFreeBlocksAndGameBlocks) {
    FillAllBut(*dst_, {0, 1, 2, 20, 21});
    ASSERT_EQ(dst_->FreeBlocks(), 5);
    PlaceSaver(*src_, 0, Name12("SIX"), 0x33, {1, 2, 3, 4, 5, 6}, 4);
    PlaceSaver(*src_, 1, Name12("FIVE"), 0x33, {11, 12, 13, 14, 15}, 5);

    const auto imageBefore = ReadFileBytes(DstPath());
    EXPECT_FALSE(CopySaver(*src_, 0, *dst_));
    EXPECT_EQ(ReadFileBytes(DstPath()), imageBefore);
    EXPECT_TRUE(dstUi_.infos.empty());

    EXPECT_TRUE(CopySaver(*src_, 1, *dst_));
    ASSERT_TRUE(LoadVolume(*dst_));
    EXPECT_EQ(dst_->FreeBlocks(), 0);
    EXPECT_EQ(ChainOf(*dst_, 21), (std::vector<uint8_t>{21, 20, 2, 1, 0}));

    // A 3-block game needs blocks 0..2, which are now taken.
    auto game = std::make_unique<CardVolume>();
    ASSERT_TRUE(MakeImage(*game, dir_.File("game.dcm")));
    PlaceSaver(*game, 0, Name12("GAME"), 0xCC, {0, 1, 2}, 6);
    ASSERT_TRUE(game->Entries()[0].IsGame);
    auto roomy = std::make_unique<CardVolume>();
    ASSERT_TRUE(MakeImage(*roomy, dir_.File("roomy.dcm")));
    PlaceSaver(*roomy, 0, Name12("AT ONE"), 0x33, {1}, 7);
    const auto roomyBefore = ReadFileBytes(dir_.File("roomy.dcm"));
    EXPECT_FALSE(CopySaver(*game, 0, *roomy));
    EXPECT_EQ(ReadFileBytes(dir_.File("roomy.dcm")), roomyBefore);

    // On a card whose first blocks are free the game lands at 0 with its entry
    // copied byte for byte.
    auto empty = std::make_unique<CardVolume>();
    ASSERT_TRUE(MakeImage(*empty, dir_.File("empty.dcm")));
    ASSERT_TRUE(CopySaver(*game, 0, *empty));
    ASSERT_TRUE(LoadVolume(*empty));
    EXPECT_EQ(0, std::memcmp(empty->Entries()[0].Raw, game->Entries()[0].Raw, 32));
    EXPECT_TRUE(empty->Entries()[0].IsGame);
    EXPECT_EQ(ChainBytes(*empty, {0, 1, 2}), ChainBytes(*game, {0, 1, 2}));
}

TEST_F(TransferEngineTest, FullDirectoryRefusesCopyWithNothingWritten) {
    PlaceSaver(*src_, 0, Name12("ONE"), 0x33, {5}, 1);
    for (int i = 0; i < CardVolume::kListedEntries; ++i)
        dst_->Entries()[i].SizeBlocks = 1;
    uint16_t before[256];
    std::copy(std::begin(dst_->Fat()), std::end(dst_->Fat()), before);
    const auto imageBefore = ReadFileBytes(DstPath());

    EXPECT_FALSE(CopySaver(*src_, 0, *dst_));
    EXPECT_TRUE(std::equal(std::begin(before), std::end(before), std::begin(dst_->Fat())));
    EXPECT_EQ(ReadFileBytes(DstPath()), imageBefore);
}

TEST_F(TransferEngineTest, CopyStoppedByFailedReadLeavesNoAllocationBehind) {
    PlaceSaver(*src_, 0, Name12("BROKEN"), 0x33, {30, 31, 32, 33}, 1);
    PlaceSaver(*src_, 1, Name12("GOOD"), 0x33, {50}, 2);
    const auto fatBlockBefore = FileBlock(DstPath(), 254);
    const auto dirBlockBefore = FileBlock(DstPath(), 253);
    uint16_t before[256];
    std::copy(std::begin(dst_->Fat()), std::end(dst_->Fat()), before);

    // After two blocks the source turns into a slot with no link: every read
    // fails from then on, as a card pulled out would.
    dstUi_.onProgress = [&](int position) {
        if (position == 2)
            src_->SetPlace(CardPlace::Slot1);
    };
    EXPECT_FALSE(CopySaver(*src_, 0, *dst_));
    EXPECT_EQ(srcUi_.infos.size(), 1u); // the block store's own message
    EXPECT_TRUE(std::equal(std::begin(before), std::end(before), std::begin(dst_->Fat())));
    EXPECT_EQ(dst_->Entries()[0].SizeBlocks, 0);
    EXPECT_EQ(FileBlock(DstPath(), 254), fatBlockBefore);
    EXPECT_EQ(FileBlock(DstPath(), 253), dirBlockBefore);

    // The next copy of the same drop writes the table back: the failed
    // allocation must not come with it.
    dstUi_.onProgress = nullptr;
    src_->SetPlace(CardPlace::Image);
    ASSERT_TRUE(CopySaver(*src_, 1, *dst_));
    ASSERT_TRUE(LoadVolume(*dst_));
    EXPECT_EQ(ChainOf(*dst_, 199), (std::vector<uint8_t>{199}));
    for (int b = 0; b < 199; ++b)
        EXPECT_EQ(dst_->Fat()[b], CardVolume::kFatFree) << b;
}

TEST_F(TransferEngineTest, CopyWithFailedWritesIsNotReportedDone) {
    PlaceSaver(*src_, 0, Name12("MOVE ME"), 0x33, {30, 31}, 1);
    const auto imageBefore = ReadFileBytes(DstPath());
    dst_->SetPlace(CardPlace::Slot2); // no link: every write fails
    EXPECT_FALSE(CopySaver(*src_, 0, *dst_));
    EXPECT_EQ(dst_->Entries()[0].SizeBlocks, 0);
    dst_->SetPlace(CardPlace::Image);
    EXPECT_EQ(ReadFileBytes(DstPath()), imageBefore);
}

TEST_F(TransferEngineTest, CopyBetweenServesOnlyPairsOfDifferentVolumes) {
    PlaceSaver(*src_, 0, Name12("PAIR"), 0x33, {8}, 1);
    CardVolume* volumes[3] = {nullptr, src_.get(), dst_.get()};
    EXPECT_FALSE(CopySaverBetween(volumes, 1, 1, 0));
    EXPECT_FALSE(CopySaverBetween(volumes, 1, 3, 0));
    EXPECT_FALSE(CopySaverBetween(volumes, 1, 0, 0));
    EXPECT_TRUE(CopySaverBetween(volumes, 1, 2, 0));
    ASSERT_TRUE(LoadVolume(*dst_));
    EXPECT_EQ(dst_->Entries()[0].Name, Name12("PAIR"));
}

TEST_F(TransferEngineTest, DeleteFreesTheWholeChainAndClearsTheEntry) {
    PlaceSaver(*dst_, 0, Name12("ONE"), 0x33, {199}, 1);
    PlaceSaver(*dst_, 1, Name12("FIVE"), 0x33, {190, 170, 180, 10, 11}, 2);
    PlaceSaver(*dst_, 2, Name12("STAYS"), 0x33, {100, 101}, 3);
    int refreshed = 0;
    ASSERT_TRUE(DeleteSaver(*dst_, 0, [&] { ++refreshed; }));
    EXPECT_EQ(refreshed, 1);
    ASSERT_TRUE(DeleteSaver(*dst_, 1));
    EXPECT_FALSE(DeleteSaver(*dst_, 1)); // already empty: nothing happens

    ASSERT_TRUE(LoadVolume(*dst_));
    for (int b : {199, 190, 170, 180, 10, 11})
        EXPECT_EQ(dst_->Fat()[b], CardVolume::kFatFree) << b;
    EXPECT_EQ(ChainOf(*dst_, 100), (std::vector<uint8_t>{100, 101}));
    EXPECT_EQ(dst_->ListedCount(), 1);
    const uint8_t zero[32] = {};
    EXPECT_EQ(0, std::memcmp(dst_->Entries()[0].Raw, zero, 32));
    EXPECT_EQ(0, std::memcmp(dst_->Entries()[1].Raw, zero, 32));
}

TEST_F(TransferEngineTest, DamagedAndLoopedChainsStayInsideTheTable) {
    PlaceSaver(*src_, 0, Name12("DAMAGED"), 0x33, {20, 21, 22}, 1);
    PlaceSaver(*src_, 1, Name12("LOOPED"), 0x33, {60, 61, 62}, 2);
    src_->Fat()[21] = 0x1234; // neither a marker nor a block number
    src_->Fat()[62] = 60;     // back to its own start
    ASSERT_TRUE(src_->WriteFat());
    ASSERT_TRUE(LoadVolume(*src_));

    // A chain that breaks before its size is not copied (the copy would hold
    // blocks that are no part of the saver); one that loops back after its
    // size has all its blocks. Nothing reads or writes outside Fat.
    const auto dstBefore = ReadFileBytes(DstPath());
    EXPECT_FALSE(CopySaver(*src_, 0, *dst_));
    EXPECT_EQ(ReadFileBytes(DstPath()), dstBefore);
    EXPECT_TRUE(CopySaver(*src_, 1, *dst_));
    EXPECT_FALSE(ExportSaverToWorkFile(dir_.File("~ico._"), 0, *src_));
    EXPECT_EQ(ReadFileBytes(dir_.File("~ico._")).size(), 2u * 512);
    EXPECT_TRUE(ExportSaverToWorkFile(dir_.File("~ico._"), 1, *src_));
    EXPECT_EQ(ReadFileBytes(dir_.File("~ico._")).size(), 3u * 512);

    ASSERT_TRUE(DeleteSaver(*src_, 0));
    ASSERT_TRUE(DeleteSaver(*src_, 1));
    for (int b : {20, 21, 60, 61, 62})
        EXPECT_EQ(src_->Fat()[b], CardVolume::kFatFree) << b;
}

TEST_F(TransferEngineTest, NameLookupIsExactOverAllTwelveCharacters) {
    PlaceSaver(*dst_, 3, Name12("SONIC"), 0x33, {199}, 1);
    PlaceSaver(*dst_, 5, Name12("SONIC"), 0x33, {198}, 2);
    int entry = -1;
    ASSERT_TRUE(FindSaverByName(*dst_, Name12("SONIC"), entry));
    EXPECT_EQ(entry, 3);
    EXPECT_FALSE(FindSaverByName(*dst_, Name12("Sonic"), entry));
    EXPECT_FALSE(FindSaverByName(*dst_, "SONIC", entry));
    std::string nulPadded("SONIC", 5);
    nulPadded.resize(12, '\0');
    EXPECT_FALSE(FindSaverByName(*dst_, nulPadded, entry));

    dst_->Listing().SetListedCount(0);
    EXPECT_FALSE(FindSaverByName(*dst_, Name12("SONIC"), entry));
}

TEST_F(TransferEngineTest, WorkFileRoundTripAndShortFileKeepCardBytes) {
    PlaceSaver(*dst_, 0, Name12("EDIT ME"), 0x33, {150, 120, 90}, 1);
    const std::string work = dir_.File("~ico._");
    const auto before = ChainBytes(*dst_, {150, 120, 90});

    ASSERT_TRUE(ExportSaverToWorkFile(work, 0, *dst_));
    auto natural = ReadFileBytes(work);
    ASSERT_EQ(natural.size(), 3u * 512);
    // The work file is in natural order: each group of four reversed.
    EXPECT_EQ(natural[0], before[3]);
    EXPECT_EQ(natural[515], before[512]);
    ASSERT_TRUE(ImportWorkFileToSaver(work, 0, *dst_));
    EXPECT_EQ(ChainBytes(*dst_, {150, 120, 90}), before);

    // A file of one and a half blocks: the first block and the first half of
    // the second are the file's, the rest is the card's.
    std::vector<uint8_t> edited(natural.begin(), natural.begin() + 768);
    for (auto& b : edited)
        b = static_cast<uint8_t>(b ^ 0xFF);
    WriteFileBytes(work, edited);
    ASSERT_TRUE(ImportWorkFileToSaver(work, 0, *dst_));
    const auto after = ChainBytes(*dst_, {150, 120, 90});
    for (size_t i = 0; i < after.size(); ++i) {
        const bool covered = i < 768;
        EXPECT_EQ(after[i], covered ? static_cast<uint8_t>(before[i] ^ 0xFF) : before[i]) << i;
    }
    ASSERT_TRUE(LoadVolume(*dst_));
    EXPECT_EQ(ChainOf(*dst_, 150), (std::vector<uint8_t>{150, 120, 90}));

    EXPECT_FALSE(ImportWorkFileToSaver(dir_.File("missing"), 0, *dst_));
}

} // namespace

TEST_F(TransferEngineTest, DeletingAFreshCopyBeforeRelistingFreesOnlyItsChain) {
    // A move whose target is deleted again before any refresh: the delete must
    // walk the new chain, not whatever block 0 links to.
    PlaceSaver(*src_, 0, Name12("MOVE ME"), 0x33, {20, 21}, 1);
    PlaceSaver(*dst_, 0, Name12("BYSTANDER"), 0x33, {3, 0, 1}, 2);
    int entry = -1;
    ASSERT_TRUE(CopySaver(*src_, 0, *dst_));
    ASSERT_TRUE(FindFreeEntry(*dst_, entry)); // the copy took entry 1
    ASSERT_EQ(entry, 2);
    ASSERT_TRUE(DeleteSaver(*dst_, 1));
    ASSERT_TRUE(LoadVolume(*dst_));
    EXPECT_EQ(ChainOf(*dst_, 3), (std::vector<uint8_t>{3, 0, 1}));
    EXPECT_EQ(dst_->Fat()[199], CardVolume::kFatFree);
    EXPECT_EQ(dst_->Fat()[198], CardVolume::kFatFree);
    EXPECT_EQ(dst_->FreeBlocks(), 197);
}

TEST_F(TransferEngineTest, DataSaverNeverStartsAtBlockZero) {
    // Only blocks 0 and 1 free: a 2-block data saver would start at 1 and is
    // fine; a 1-block saver when only block 0 is free is refused, since its
    // entry would read back as empty.
    FillAllBut(*dst_, {0});
    uint8_t first = 0xEE;
    const std::vector<uint16_t> before(std::begin(dst_->Fat()), std::end(dst_->Fat()));
    EXPECT_FALSE(AllocateChain(*dst_, 1, false, first));
    EXPECT_EQ(std::vector<uint16_t>(std::begin(dst_->Fat()), std::end(dst_->Fat())), before);
    EXPECT_TRUE(AllocateChain(*dst_, 1, true, first)); // a game starts there by design
    EXPECT_EQ(first, 0);
}

TEST_F(TransferEngineTest, LinksIntoSystemBlocksNeverReachTheTableOrDirectory) {
    PlaceSaver(*dst_, 0, Name12("KEEP"), 0x33, {199}, 1);
    PlaceSaver(*dst_, 1, Name12("INTO DIR"), 0x33, {150, 151}, 2);
    PlaceSaver(*dst_, 2, Name12("INTO FAT"), 0x33, {100, 101}, 3);
    dst_->Fat()[150] = 253; // a damaged link into the directory
    dst_->Fat()[100] = 254; // and one into the table
    ASSERT_TRUE(dst_->WriteFat());
    ASSERT_TRUE(LoadVolume(*dst_));
    const auto fatBlock = FileBlock(DstPath(), 254);
    const auto rootBlock = FileBlock(DstPath(), 255);

    // Editing the saver whose chain runs into the table writes its first
    // block only; the table block keeps its bytes.
    const std::string work = dir_.File("~ico._");
    WriteFileBytes(work, std::vector<uint8_t>(2 * 512, 0xAB));
    ImportWorkFileToSaver(work, 2, *dst_);
    EXPECT_EQ(FileBlock(DstPath(), 254), fatBlock);

    // Deleting frees the saver's own block but never the directory's.
    ASSERT_TRUE(DeleteSaver(*dst_, 1));
    ASSERT_TRUE(LoadVolume(*dst_));
    EXPECT_EQ(dst_->Fat()[150], CardVolume::kFatFree);
    EXPECT_EQ(dst_->Fat()[253], 252);
    EXPECT_EQ(EntryNamed(*dst_, Name12("KEEP")), 0);
    EXPECT_EQ(EntryNamed(*dst_, Name12("INTO FAT")), 2);
    EXPECT_EQ(FileBlock(DstPath(), 255), rootBlock);

    // A root claiming more user blocks than a card has hands out no system block.
    dst_->Root()[CardVolume::kUserBlocksOffset] = 250;
    dst_->Fat()[245] = CardVolume::kFatFree;
    uint8_t block = 0;
    ASSERT_TRUE(FindFreeBlock(*dst_, block));
    EXPECT_LT(block, 241);
}

TEST_F(TransferEngineTest, BrokenDirectoryChainRefusesWriteBackWithNothingWritten) {
    PlaceSaver(*src_, 0, Name12("PAYLOAD"), 0x33, {30, 31}, 1);
    const auto image = ReadFileBytes(DstPath());
    dst_->Fat()[CardVolume::kDirFirstBlock] = CardVolume::kFatFree;
    const std::vector<uint16_t> fat(std::begin(dst_->Fat()), std::end(dst_->Fat()));
    EXPECT_FALSE(CopySaver(*src_, 0, *dst_));
    EXPECT_EQ(std::vector<uint16_t>(std::begin(dst_->Fat()), std::end(dst_->Fat())), fat);
    // Only the free blocks the copy went to may differ; table, root and
    // directory are untouched.
    const auto after = ReadFileBytes(DstPath());
    EXPECT_TRUE(std::equal(after.begin() + 241 * 512, after.end(), image.begin() + 241 * 512));
}
