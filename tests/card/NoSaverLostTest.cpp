// Writes on damaged cards: a refused operation changes nothing, one game test
// everywhere, and a damaged table never lets one saver eat another.
#include "card/DciFile.h"
#include "card/ReplaceSaver.h"
#include "card/TransferEngine.h"
#include "card/support/EngineSupport.h"

#include <gtest/gtest.h>

#include <memory>

using namespace engine_test;

namespace {

constexpr uint16_t kFree = CardVolume::kFatFree;
constexpr uint16_t kEnd = CardVolume::kFatEnd;

class NoSaverLost : public TwoImageTest {
  protected:
    static std::vector<uint8_t> Range(int from, int count) {
        std::vector<uint8_t> chain;
        for (int k = 0; k < count; ++k)
            chain.push_back(static_cast<uint8_t>(from - k));
        return chain;
    }
};

// 1. A refused overwrite deletes nothing.

TEST_F(NoSaverLost, ReplaceRefusedByTheTableKeepsTheOldSaver) {
    PlaceSaver(*a_, 0, Name12("OLD"), 0x33, Range(199, 5), 1);
    // 190 leaked blocks: taken in the table, owned by no entry. The listing
    // still counts 195 free.
    for (int b = 0; b < 190; ++b)
        a_->Fat()[b] = kEnd;
    ASSERT_TRUE(a_->WriteFat());
    ASSERT_TRUE(LoadVolume(*a_));
    ASSERT_EQ(a_->FreeBlocks(), 195);
    const auto image = ReadFileBytes(APath());
    const std::vector<uint16_t> fat(std::begin(a_->Fat()), std::end(a_->Fat()));

    const SaverResult r =
        ReplaceSaverByImport(Dci("new.dci", MakeDciBytes(0x33, 0, 0, "OLD", 20, 7)), *a_, 0);
    EXPECT_EQ(r.outcome, SaverOutcome::NoSpace);
    EXPECT_EQ(r.reason, "NOT ENOUGH SPACE.");
    EXPECT_TRUE(r.Refused());
    EXPECT_EQ(std::vector<uint16_t>(std::begin(a_->Fat()), std::end(a_->Fat())), fat);
    EXPECT_EQ(a_->Entries()[0].Name, Name12("OLD"));

    // The window's copy onto a saver of the same name: the same refusal.
    PlaceSaver(*b_, 0, Name12("OLD"), 0x33, Range(150, 20), 2);
    EXPECT_EQ(ReplaceSaverByCopy(*b_, 0, *a_, 0).outcome, SaverOutcome::NoSpace);
    EXPECT_EQ(ReadFileBytes(APath()), image);
    EXPECT_TRUE(ui_.infos.empty());

    // Savers beyond a lowered user-block count floor the listing at 0 free:
    // the replace counts the old saver's own blocks and goes through.
    auto c = std::make_unique<CardVolume>();
    ASSERT_TRUE(MakeImage(*c, dir_.File("c.dcm")));
    PlaceSaver(*c, 0, Name12("OTHER"), 0x33, Range(100, 10), 3);
    PlaceSaver(*c, 1, Name12("OLD"), 0x33, Range(199, 5), 4);
    c->Root()[CardVolume::kUserBlocksOffset] = 12;
    ASSERT_TRUE(c->WriteRoot());
    ASSERT_TRUE(LoadVolume(*c));
    ASSERT_EQ(c->FreeBlocks(), 0);
    const auto dci = MakeDciBytes(0x33, 0, 0, "OLD", 5, 8);
    ASSERT_TRUE(ReplaceSaverByImport(Dci("old.dci", dci), *c, 1).Done());
    ASSERT_TRUE(LoadVolume(*c));
    const int now = EntryNamed(*c, Name12("OLD"));
    ASSERT_GE(now, 0);
    EXPECT_EQ(ChainBytes(*c, ChainOf(*c, c->Entries()[now].FirstBlock)),
              std::vector<uint8_t>(dci.begin() + 32, dci.end()));
}

TEST_F(NoSaverLost, DirectoryChainIntoSaverDataRefusesEveryWrite) {
    PlaceSaver(*a_, 0, Name12("KEEP"), 0x33, {199, 198}, 1);
    PlaceSaver(*a_, 1, Name12("OLD"), 0x33, {150}, 2);
    PlaceSaver(*b_, 0, Name12("OLD"), 0x33, {10}, 3);
    DamageTable(*a_, {{245, 150}}); // the directory now reads saver data
    const int old = EntryNamed(*a_, Name12("OLD"));
    ASSERT_EQ(old, 1);
    const auto image = ReadFileBytes(APath());

    const std::string dci = Dci("old.dci", MakeDciBytes(0x33, 0, 0, "OLD", 1, 5));
    EXPECT_EQ(ReplaceSaverByImport(dci, *a_, old).outcome, SaverOutcome::DirectoryDamaged);
    EXPECT_EQ(ReplaceSaverByCopy(*b_, 0, *a_, old).outcome, SaverOutcome::DirectoryDamaged);
    a_->Listing().SetFreeBlocks(100); // whatever the phantom entries made of the count
    EXPECT_FALSE(ImportDci(dci, *a_));
    EXPECT_FALSE(CopySaver(*b_, 0, *a_));
    EXPECT_FALSE(DeleteSaver(*a_, old));
    EXPECT_EQ(ReadFileBytes(APath()), image);
}

TEST_F(NoSaverLost, ReplaceThatFailsHalfWayLeavesTheOldSaverWhole) {
    PlaceSaver(*a_, 0, Name12("OLD"), 0x33, Range(199, 5), 1);
    PlaceSaver(*b_, 0, Name12("OLD"), 0x33, Range(100, 10), 2);
    const auto image = ReadFileBytes(APath());
    const auto oldBytes = ChainBytes(*a_, Range(199, 5));
    // After two blocks the source turns into a slot without a link.
    ui_.onProgress = [&](int position) {
        if (position == 2)
            b_->SetPlace(CardPlace::Slot1);
    };
    const SaverResult r = ReplaceSaverByCopy(*b_, 0, *a_, 0);
    ui_.onProgress = nullptr;
    b_->SetPlace(CardPlace::Image);
    EXPECT_EQ(r.outcome, SaverOutcome::ReadFailed);
    EXPECT_FALSE(r.oldSaverTouched);
    const auto after = ReadFileBytes(APath());
    EXPECT_TRUE(std::equal(after.begin() + 241 * 512, after.end(), image.begin() + 241 * 512));
    ASSERT_TRUE(LoadVolume(*a_));
    EXPECT_EQ(EntryNamed(*a_, Name12("OLD")), 0);
    EXPECT_EQ(ChainBytes(*a_, ChainOf(*a_, 199)), oldBytes);

    // With room for 3 blocks only, the new chain needs 7 of the old saver's:
    // all their source blocks are read before the first of them is written.
    auto c = std::make_unique<CardVolume>();
    c->Store().SetFeedback(&ui_);
    ASSERT_TRUE(MakeImage(*c, dir_.File("c.dcm")));
    PlaceSaver(*c, 0, Name12("FILLER"), 0x33, Range(199, 187), 3);
    PlaceSaver(*c, 1, Name12("OLD"), 0x33, Range(12, 10), 4);
    const auto cOld = ChainBytes(*c, Range(12, 10));
    ui_.onProgress = [&](int position) {
        if (position == 2) // the free blocks 2 and 1 are written
            b_->SetPlace(CardPlace::Slot1);
    };
    const SaverResult tight = ReplaceSaverByCopy(*b_, 0, *c, 1);
    ui_.onProgress = nullptr;
    b_->SetPlace(CardPlace::Image);
    EXPECT_EQ(tight.outcome, SaverOutcome::ReadFailed);
    EXPECT_FALSE(tight.oldSaverTouched);
    EXPECT_EQ(ChainBytes(*c, Range(12, 10)), cOld);
    // And with a readable source the replace goes through in that room.
    ASSERT_TRUE(LoadVolume(*c));
    ASSERT_TRUE(ReplaceSaverByCopy(*b_, 0, *c, 1).Done());
    ASSERT_TRUE(LoadVolume(*c));
    const int now = EntryNamed(*c, Name12("OLD"));
    ASSERT_GE(now, 0);
    EXPECT_EQ(ChainBytes(*c, ChainOf(*c, c->Entries()[now].FirstBlock)),
              ChainBytes(*b_, Range(100, 10)));
}

// 2. One test for a game: type 0xCC with byte 3 zero, chain from block 0.

TEST_F(NoSaverLost, GameDciWithAStrayByteTwoIsAGameEverywhere) {
    const std::string game = Dci("game.dci", MakeDciBytes(0xCC, 5, 0, "GAME", 3, 4));
    ASSERT_TRUE(ImportDci(game, *a_));
    ASSERT_TRUE(LoadVolume(*a_));
    const int g = EntryNamed(*a_, Name12("GAME"));
    ASSERT_GE(g, 0);
    EXPECT_TRUE(a_->Entries()[g].IsGame);
    EXPECT_EQ(a_->Entries()[g].Raw[2], 0);
    EXPECT_EQ(a_->Entries()[g].Raw[3], 0);
    EXPECT_EQ(ChainOf(*a_, 0), (std::vector<uint8_t>{0, 1, 2}));

    // Copied beside a saver at the top, then deleted: only blocks 0..2 go.
    PlaceSaver(*b_, 0, Name12("VICTIM"), 0x33, {199, 198}, 5);
    const auto victim = ChainBytes(*b_, {199, 198});
    ASSERT_TRUE(CopySaver(*a_, g, *b_));
    ASSERT_TRUE(LoadVolume(*b_));
    const int bg = EntryNamed(*b_, Name12("GAME"));
    ASSERT_GE(bg, 0);
    EXPECT_EQ(b_->Entries()[bg].Raw[2], 0);
    EXPECT_EQ(ChainBytes(*b_, {0, 1, 2}), ChainBytes(*a_, {0, 1, 2}));
    ASSERT_TRUE(DeleteSaver(*b_, bg));
    ASSERT_TRUE(LoadVolume(*b_));
    for (int blk : {0, 1, 2})
        EXPECT_EQ(b_->Fat()[blk], kFree) << blk;
    EXPECT_EQ(ChainOf(*b_, 199), (std::vector<uint8_t>{199, 198}));
    EXPECT_EQ(ChainBytes(*b_, {199, 198}), victim);
}

TEST_F(NoSaverLost, GameEntryNamingAnotherSaversBlockIsWalkedFromZero) {
    // As an earlier import left it: a game whose byte 2 names block 150,
    // where another saver starts.
    PlaceSaver(*a_, 0, Name12("GAME"), 0xCC, {0, 1, 2}, 6);
    PlaceSaver(*a_, 1, Name12("OTHER"), 0x33, {150, 149}, 7);
    a_->Entries()[0].Raw[2] = 150;
    ASSERT_TRUE(a_->WriteDirectory());
    ASSERT_TRUE(LoadVolume(*a_));
    ASSERT_TRUE(a_->Entries()[0].IsGame);
    const auto other = ChainBytes(*a_, {150, 149});

    ASSERT_TRUE(ExportDci(dir_.File("g.dci"), 0, *a_));
    const auto file = ReadFileBytes(dir_.File("g.dci"));
    const auto game = ChainBytes(*a_, {0, 1, 2});
    EXPECT_EQ(std::vector<uint8_t>(file.begin() + 32, file.end()), game);
    ASSERT_TRUE(ExportSaverToWorkFile(dir_.File("~ico._"), 0, *a_));
    EXPECT_EQ(ReadFileBytes(dir_.File("~ico._")).size(), 3u * 512);

    ASSERT_TRUE(DeleteSaver(*a_, 0));
    ASSERT_TRUE(LoadVolume(*a_));
    EXPECT_EQ(a_->Fat()[0], kFree);
    EXPECT_EQ(ChainOf(*a_, 150), (std::vector<uint8_t>{150, 149}));
    EXPECT_EQ(ChainBytes(*a_, {150, 149}), other);
}

// 3. A damaged table never lets one saver eat another.

TEST_F(NoSaverLost, CrossLinkedDeleteFreesOnlyBlocksNoOtherSaverReaches) {
    PlaceSaver(*a_, 0, Name12("ALPHA"), 0x33, {10, 11, 12}, 1);
    PlaceSaver(*a_, 1, Name12("BRAVO"), 0x33, {30, 31}, 2);
    DamageTable(*a_, {{10, 30}}); // ALPHA now runs 10 -> 30 -> 31
    const auto bravo = ChainBytes(*a_, {30, 31});
    ASSERT_TRUE(DeleteSaver(*a_, 0));
    ASSERT_TRUE(LoadVolume(*a_));
    EXPECT_EQ(a_->Fat()[10], kFree);
    EXPECT_EQ(ChainOf(*a_, 30), (std::vector<uint8_t>{30, 31}));

    // A copy that takes every block the card can give leaves BRAVO alone.
    PlaceSaver(*b_, 0, Name12("BIG"), 0x33, Range(199, 196), 3);
    a_->Listing().SetFreeBlocks(200);
    ASSERT_TRUE(CopySaver(*b_, 0, *a_));
    EXPECT_EQ(ChainBytes(*a_, {30, 31}), bravo);
}

TEST_F(NoSaverLost, BlocksATableCallsFreeButASaverOwnsAreNeverHandedOut) {
    PlaceSaver(*a_, 0, Name12("BRAVO"), 0x33, {199}, 2);
    DamageTable(*a_, {{199, kFree}});
    ASSERT_EQ(a_->ListedCount(), 1);
    const auto bravo = ChainBytes(*a_, {199});
    const std::string description = a_->Entries()[0].Description;
    ASSERT_TRUE(ImportDci(Dci("n.dci", MakeDciBytes(0x33, 0, 0, "NEW", 2, 9)), *a_));
    ASSERT_TRUE(LoadVolume(*a_));
    EXPECT_EQ(ChainOf(*a_, a_->Entries()[1].FirstBlock), (std::vector<uint8_t>{198, 197}));
    EXPECT_EQ(ChainBytes(*a_, {199}), bravo);
    EXPECT_EQ(a_->Entries()[0].Description, description);
    uint8_t block = 0;
    ASSERT_TRUE(FindFreeBlock(*a_, block));
    EXPECT_EQ(block, 196);
}

TEST_F(NoSaverLost, DeletesAndEditsStopAtSystemBlocksNotAtTheUserCount) {
    auto c = std::make_unique<CardVolume>();
    const std::string path = dir_.File("c.dcm");
    ASSERT_TRUE(MakeImage(*c, path, 241));
    PlaceSaver(*c, 0, Name12("ALPHA"), 0x33, {5, 210, 6}, 1);
    c->Root()[CardVolume::kUserBlocksOffset] = 200;
    ASSERT_TRUE(c->WriteRoot());
    ASSERT_TRUE(LoadVolume(*c));

    const std::string work = dir_.File("~ico._");
    WriteFileBytes(work, std::vector<uint8_t>(3 * 512, 0x5A));
    ASSERT_TRUE(ImportWorkFileToSaver(work, 0, *c));
    for (int blk : {5, 210, 6})
        EXPECT_EQ(FileBlock(path, blk), std::vector<uint8_t>(512, 0x5A)) << blk;

    ASSERT_TRUE(DeleteSaver(*c, 0));
    ASSERT_TRUE(LoadVolume(*c));
    for (int blk : {5, 210, 6})
        EXPECT_EQ(c->Fat()[blk], kFree) << blk;

    // A chain into the table's block is edited nowhere: the edit is refused.
    PlaceSaver(*c, 0, Name12("INTO FAT"), 0x33, {100, 101}, 2);
    DamageTable(*c, {{100, CardVolume::kFatBlock}});
    const auto image = ReadFileBytes(path);
    EXPECT_FALSE(ImportWorkFileToSaver(work, 0, *c));
    EXPECT_EQ(ReadFileBytes(path), image);
}

TEST_F(NoSaverLost, ImportWithoutADirectoryChainWritesNoBlock) {
    DamageTable(*a_, {{CardVolume::kDirFirstBlock, kFree}});
    const auto image = ReadFileBytes(APath());
    a_->Listing().SetFreeBlocks(200);
    DciImportResult result{};
    EXPECT_FALSE(ImportDci(Dci("n.dci", MakeDciBytes(0x33, 0, 0, "NEW", 2, 9)), *a_, &result));
    EXPECT_EQ(result, DciImportResult::WriteFailed);
    EXPECT_EQ(ReadFileBytes(APath()), image);
}

} // namespace
