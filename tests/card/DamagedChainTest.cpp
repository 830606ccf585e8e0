// Damaged entries and chains: the repair never frees what an entry points to,
// and nothing is allocated while a listed chain is broken.
#include "card/CardCheck.h"
#include "card/DciFile.h"
#include "card/ReplaceSaver.h"
#include "card/TransferEngine.h"
#include "card/support/EngineSupport.h"

#include <gtest/gtest.h>

#include <memory>

using namespace engine_test;

namespace {

constexpr uint16_t kFree = CardVolume::kFatFree;

class DamagedChain : public ::testing::Test {
  protected:
    void SetUp() override {
        card_ = std::make_unique<CardVolume>();
        card_->Store().SetFeedback(&ui_);
        ASSERT_TRUE(MakeImage(*card_, Path()));
        PlaceSaver(*card_, 0, Name12("ALPHA"), 0x33, {199, 198, 197}, 1);
        PlaceSaver(*card_, 1, Name12("BRAVO"), 0x33, {196, 195}, 2);
        alpha_ = ChainBytes(*card_, {199, 198, 197});
    }
    std::string Path() const { return dir_.File("a.dcm"); }
    void SetEntryByte(int entry, int offset, uint8_t value) {
        card_->Entries()[entry].Raw[offset] = value;
        ASSERT_TRUE(card_->WriteDirectory());
        ASSERT_TRUE(LoadVolume(*card_));
    }
    std::string Dci(const char* name, int size) {
        const std::string path = dir_.File(std::string(name) + ".dci");
        WriteFileBytes(path, MakeDciBytes(0x33, 0, 0, name, size, 9));
        return path;
    }

    TempDir dir_;
    RecordingFeedback ui_;
    std::unique_ptr<CardVolume> card_;
    std::vector<uint8_t> alpha_;
};

TEST_F(DamagedChain, RepairRaisesALoweredSizeAndNeverFreesTheChain) {
    for (uint8_t lowered : {uint8_t{1}, uint8_t{0}}) {
        SCOPED_TRACE(int{lowered});
        SetUp();
        SetEntryByte(0, SaverEntry::kSizeOffset, lowered);
        CardRepairReport repaired;
        ASSERT_TRUE(RepairCard(*card_, repaired));
        EXPECT_TRUE(repaired.after.Clean());
        ASSERT_TRUE(LoadVolume(*card_));
        EXPECT_EQ(card_->Entries()[0].SizeBlocks, 3);
        EXPECT_EQ(ChainOf(*card_, 199), (std::vector<uint8_t>{199, 198, 197}));
        EXPECT_EQ(ChainBytes(*card_, {199, 198, 197}), alpha_);
    }

    // A link damaged into leaked blocks that then break: nothing is freed.
    SetUp();
    DamageTable(*card_, {{197, 100}, {100, 101}, {101, kFree}});
    const auto image = ReadFileBytes(Path());
    CardRepairReport repaired;
    ASSERT_TRUE(RepairCard(*card_, repaired));
    EXPECT_TRUE(repaired.repairs.empty());
    EXPECT_EQ(ReadFileBytes(Path()), image);

    // A repair offered for the card as it was is not written on another.
    SetUp();
    DamageTable(*card_, {{50, CardVolume::kFatEnd}});
    CardRepairReport plan;
    ASSERT_TRUE(PlanCardRepair(*card_, plan));
    ASSERT_EQ(plan.repairs, std::vector<std::string>{"Freed 1 leaked block."});
    DamageTable(*card_, {{60, CardVolume::kFatEnd}});
    const auto changed = ReadFileBytes(Path());
    ASSERT_TRUE(RepairCard(*card_, repaired, &plan.repairs));
    EXPECT_TRUE(repaired.changed);
    EXPECT_EQ(ReadFileBytes(Path()), changed);
}

TEST_F(DamagedChain, ADataSaverMarkedAGameKeepsItsChain) {
    SetEntryByte(0, SaverEntry::kTypeOffset, SaverEntry::kTypeGame);
    const auto image = ReadFileBytes(Path());
    CardRepairReport repaired;
    ASSERT_TRUE(RepairCard(*card_, repaired));
    EXPECT_EQ(repaired.before.problems.at(0).kind, CardProblemKind::TypeDamaged);
    EXPECT_EQ(ReadFileBytes(Path()), image);

    // Its last link damaged too: an import still keeps off its blocks.
    DamageTable(*card_, {{197, kFree}});
    ASSERT_TRUE(ImportDci(Dci("NEW", 3), *card_));
    ASSERT_TRUE(LoadVolume(*card_));
    EXPECT_EQ(ChainBytes(*card_, {199, 198, 197}), alpha_);
    ASSERT_TRUE(ExportDci(dir_.File("alpha.dci"), 0, *card_));
    const auto file = ReadFileBytes(dir_.File("alpha.dci"));
    EXPECT_EQ(std::vector<uint8_t>(file.begin() + 32, file.end()), alpha_);
}

TEST(DamagedType, TheTypeByteRuleHoldsForASaverOfAnySize) {
    const struct {
        const char* what;
        std::vector<uint8_t> chain;
        bool gameAtZero;
        bool leakAtZero;
        CardProblemKind kind;
    } cases[] = {
        {"one block", {199}, false, false, CardProblemKind::TypeDamaged},
        {"two blocks", {199, 198}, false, false, CardProblemKind::TypeDamaged},
        {"block 0 a game's", {199}, true, false, CardProblemKind::TypeDamaged},
        {"block 0 leaked", {199}, false, true, CardProblemKind::GameFirstBlock},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        RecordingFeedback ui;
        CardVolume card;
        card.Store().SetFeedback(&ui);
        ASSERT_TRUE(MakeImage(card, dir.File("a.dcm")));
        PlaceSaver(card, 0, Name12("XDATA"), 0x33, c.chain, 1);
        if (c.gameAtZero)
            PlaceSaver(card, 1, Name12("GAME"), 0xCC, {0}, 2);
        if (c.leakAtZero)
            DamageTable(card, {{0, CardVolume::kFatEnd}});
        const auto data = ChainBytes(card, c.chain);
        card.Entries()[0].Raw[SaverEntry::kTypeOffset] = SaverEntry::kTypeGame;
        ASSERT_TRUE(card.WriteDirectory());
        ASSERT_TRUE(LoadVolume(card));

        CardRepairReport repaired;
        ASSERT_TRUE(RepairCard(card, repaired));
        bool found = false;
        for (const CardProblem& p : repaired.before.problems)
            found = found || p.kind == c.kind;
        EXPECT_TRUE(found) << repaired.before.problems.at(0).text;
        // Whichever byte is damaged, no chain that may be the saver's is
        // freed, and nothing is taken from it afterwards.
        ASSERT_TRUE(LoadVolume(card));
        EXPECT_EQ(ChainOf(card, c.chain[0]), c.chain);
        if (c.leakAtZero) {
            EXPECT_EQ(card.Fat()[0], CardVolume::kFatEnd);
        }
        const std::string dci = dir.File("new.dci");
        WriteFileBytes(dci, MakeDciBytes(0x33, 0, 0, "NEW", 1, 9));
        ASSERT_TRUE(ImportDci(dci, card));
        ASSERT_TRUE(LoadVolume(card));
        EXPECT_EQ(ChainBytes(card, c.chain), data);
    }
}

TEST_F(DamagedChain, NoBlockIsTakenWhileAListedChainIsBroken) {
    // ALPHA broken after one block: 198 and 197 may still be its own.
    DamageTable(*card_, {{199, kFree}, {198, kFree}});
    const auto image = ReadFileBytes(Path());
    EXPECT_FALSE(ImportDci(Dci("NEW", 2), *card_));
    EXPECT_EQ(ui_.infos.at(0), "The chain of saver ALPHA holds 1 of its 3 blocks, so the owner of "
                               "the blocks after it is unknown: no blocks are taken on this card "
                               "until it is checked (\"Check card...\", or porvane-cli check).");
    EXPECT_EQ(ReadFileBytes(Path()), image);

    // Deleting the damaged saver frees only the block it reaches.
    ASSERT_TRUE(DeleteSaver(*card_, 0));
    ASSERT_TRUE(LoadVolume(*card_));
    EXPECT_EQ(card_->Fat()[197], CardVolume::kFatEnd);
    EXPECT_TRUE(ImportDci(Dci("NEW", 2), *card_));
}

} // namespace
