// The card check names each damage; the repair mends what is safe and never
// loses a saver.
#include "card/CardCheck.h"
#include "card/DciFile.h"
#include "card/TransferEngine.h"
#include "card/support/EngineSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <tuple>

using namespace engine_test;

namespace {

bool Has(const CardCheckReport& report, CardProblemKind kind) {
    for (const CardProblem& p : report.problems) {
        if (p.kind == kind)
            return true;
    }
    return false;
}

class CardCheckTest : public ::testing::Test {
  protected:
    // ALPHA (3 blocks at 199..197), BRAVO (2 at 196, 195), GAME (3 at 0..2),
    // imported by the engine itself, on a card of userBlocks.
    void MakeCard(uint8_t userBlocks = 200) {
        card_ = std::make_unique<CardVolume>();
        ASSERT_TRUE(MakeImage(*card_, Path(), userBlocks));
        int seed = 1;
        for (auto [name, size, game] :
             {std::tuple{"ALPHA", 3, false}, std::tuple{"BRAVO", 2, false},
              std::tuple{"GAME", 3, true}}) {
            const std::string dci = dir_.File(std::string(name) + ".dci");
            WriteFileBytes(dci, MakeDciBytes(game ? 0xCC : 0x33, 0, 0, name, size, seed++));
            ASSERT_TRUE(ImportDci(dci, *card_)) << name;
            ASSERT_TRUE(LoadVolume(*card_));
        }
        for (const char* name : {"ALPHA", "BRAVO", "GAME"}) {
            const int i = EntryNamed(*card_, Name12(name));
            data_[name] = ChainBytes(*card_, ChainOf(*card_, card_->Entries()[i].FirstBlock));
        }
    }
    std::string Path() const { return dir_.File("card.dcm"); }
    // The saver's data now, up to its size.
    std::vector<uint8_t> DataOf(const std::string& name) {
        const int i = EntryNamed(*card_, Name12(name));
        if (i < 0)
            return {};
        auto chain = ChainOf(*card_, card_->Entries()[i].FirstBlock);
        chain.resize(std::min<size_t>(chain.size(), card_->Entries()[i].SizeBlocks));
        return ChainBytes(*card_, chain);
    }

    TempDir dir_;
    std::unique_ptr<CardVolume> card_;
    std::map<std::string, std::vector<uint8_t>> data_;
};

TEST_F(CardCheckTest, EachDamageIsFoundAndTheRepairLeavesACleanCard) {
    struct Damage {
        const char* what;
        CardProblemKind kind;
        std::function<void(CardVolume&)> apply;
    };
    const std::vector<Damage> damages = {
        {"last block marked free", CardProblemKind::ChainNoEnd,
         [](CardVolume& v) {
             DamageTable(v, {{195, CardVolume::kFatFree}});
         }},
        {"chain runs on", CardProblemKind::ChainNoEnd,
         [](CardVolume& v) {
             DamageTable(v, {{197, 100}, {100, CardVolume::kFatEnd}});
         }},
        {"size byte too large", CardProblemKind::ChainShort,
         [](CardVolume& v) {
             v.Entries()[1].Raw[SaverEntry::kSizeOffset] = 40;
             ASSERT_TRUE(v.WriteDirectory());
         }},
        {"game names block 196", CardProblemKind::GameFirstBlock,
         [](CardVolume& v) {
             v.Entries()[2].Raw[SaverEntry::kFirstBlockOffset] = 196;
             ASSERT_TRUE(v.WriteDirectory());
         }},
        {"leaked blocks", CardProblemKind::LeakedBlocks,
         [](CardVolume& v) {
             DamageTable(v, {{50, 51}, {51, CardVolume::kFatEnd}});
         }},
        {"root layout", CardProblemKind::RootLayout,
         [](CardVolume& v) {
             v.Root()[0x4A] = 0x12;
             ASSERT_TRUE(v.WriteRoot());
         }},
    };
    for (const Damage& d : damages) {
        SCOPED_TRACE(d.what);
        MakeCard();
        d.apply(*card_);
        CardCheckReport report;
        ASSERT_TRUE(CheckCard(*card_, report));
        EXPECT_TRUE(Has(report, d.kind));
        EXPECT_FALSE(report.Clean());
        CardRepairReport repaired;
        ASSERT_TRUE(RepairCard(*card_, repaired));
        EXPECT_FALSE(repaired.repairs.empty());
        EXPECT_TRUE(repaired.after.Clean())
            << (repaired.after.problems.empty() ? "" : repaired.after.problems[0].text);
        ASSERT_TRUE(LoadVolume(*card_));
        EXPECT_EQ(card_->ListedCount(), 3);
        for (const auto& [name, bytes] : data_) {
            // A chain that runs on to a proper end keeps its blocks: the
            // saver grows by them rather than losing them.
            auto now = DataOf(name);
            now.resize(std::min(now.size(), bytes.size()));
            EXPECT_EQ(now, bytes) << name;
        }
    }
}

// What a view's listing already read tells a damaged card from a clean one,
// as the full check does.
TEST_F(CardCheckTest, TheListingAloneTellsADamagedCard) {
    const std::vector<std::tuple<const char*, CardProblemKind, std::pair<int, uint16_t>>> cases = {
        {"chain breaks", CardProblemKind::ChainBroken, {198, CardVolume::kFatFree}},
        {"shared blocks", CardProblemKind::SharedBlocks, {198, 196}},
        {"free count", CardProblemKind::FreeCount, {50, CardVolume::kFatEnd}},
    };
    MakeCard();
    CardCheckReport report;
    CheckListedCard(*card_, report);
    EXPECT_TRUE(report.Clean());
    EXPECT_EQ(report.listedFree, 192);
    for (const auto& [what, kind, link] : cases) {
        SCOPED_TRACE(what);
        MakeCard();
        DamageTable(*card_, {link});
        CheckListedCard(*card_, report);
        EXPECT_TRUE(Has(report, kind));
        EXPECT_GT(report.ProblemCount(), 0);
    }
}

TEST_F(CardCheckTest, RootTooSmallForItsSaversIsRaisedNotTheSaversMoved) {
    MakeCard(241);
    // ALPHA's chain reaches beyond 200: 240 -> 239 -> 238 on a 241 card.
    card_->Root()[CardVolume::kUserBlocksOffset] = 200;
    ASSERT_TRUE(card_->WriteRoot());
    CardCheckReport report;
    ASSERT_TRUE(CheckCard(*card_, report));
    EXPECT_TRUE(Has(report, CardProblemKind::OutsideUserArea));
    CardRepairReport repaired;
    ASSERT_TRUE(RepairCard(*card_, repaired));
    EXPECT_TRUE(repaired.after.Clean());
    EXPECT_EQ(card_->UserBlocks(), 241);
}

TEST_F(CardCheckTest, BrokenChainsAreReportedAndLeftWhole) {
    MakeCard();
    // ALPHA 199 -> 198 now runs into the directory; 197 is left over.
    DamageTable(*card_, {{198, 250}});
    const auto image = ReadFileBytes(Path());
    CardRepairReport repaired;
    ASSERT_TRUE(RepairCard(*card_, repaired));
    EXPECT_TRUE(Has(repaired.before, CardProblemKind::ChainBroken));
    EXPECT_TRUE(Has(repaired.before, CardProblemKind::LeakedBlocks));
    // Nothing safe to write: the leaked block may be ALPHA's third.
    EXPECT_TRUE(repaired.repairs.empty());
    EXPECT_EQ(repaired.refusals.size(), 2u);
    EXPECT_EQ(ReadFileBytes(Path()), image);

    // A card that was never formatted is only told so.
    auto blank = std::make_unique<CardVolume>();
    blank->SetPlace(CardPlace::Image);
    ASSERT_TRUE(blank->OpenImage(dir_.File("blank.dcm")));
    CardCheckReport report;
    ASSERT_TRUE(CheckCard(*blank, report));
    ASSERT_EQ(report.problems.size(), 1u);
    EXPECT_EQ(report.problems[0].text, "Not a formated Card");
}

} // namespace
