// The bound between savers and the system area: block 240 is the last a
// saver may use (on a card of 241 user blocks), block 241 the directory's
// last. One block off at that bound in the chain walks, the check, the repair
// the same-card check or the directory walks fails here.
#include "card/CardCheck.h"
#include "card/SameCard.h"
#include "card/SaverChains.h"
#include "card/TransferEngine.h"
#include "card/support/EngineSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

using namespace engine_test;

namespace {

constexpr uint16_t kEnd = CardVolume::kFatEnd;
constexpr uint16_t kFree = CardVolume::kFatFree;
using Links = std::vector<std::pair<int, uint16_t>>;

bool Has(const CardCheckReport& report, CardProblemKind kind, int block) {
    for (const CardProblem& p : report.problems) {
        if (p.kind == kind && (block < 0 || p.block == block))
            return true;
    }
    return false;
}

// A formatted image of userBlocks with one saver ("EDGE", entry `entry`) on
// chain, then the table values of links put in by another program.
std::unique_ptr<CardVolume> EdgeCard(TempDir& dir, uint8_t userBlocks,
                                     const std::vector<uint8_t>& chain, int entry = 0,
                                     const Links& links = {}) {
    auto card = std::make_unique<CardVolume>();
    EXPECT_TRUE(MakeImage(*card, dir.File("edge.dcm"), userBlocks));
    if (!chain.empty())
        PlaceSaver(*card, entry, Name12("EDGE"), 0x33, chain, 3);
    for (const auto& [block, value] : links)
        card->Fat()[block] = value;
    EXPECT_TRUE(card->WriteFat());
    EXPECT_TRUE(LoadVolume(*card));
    return card;
}

} // namespace

TEST(SystemEdges, ChainWalksEndAtTheFirstDirectoryBlock) {
    auto v = std::make_unique<CardVolume>();
    const struct {
        Links links;
        uint8_t start;
        int size;
        ChainEnd end;
        int count;
    } walks[] = {
        {{{240, kEnd}}, 240, 1, ChainEnd::Complete, 1},
        {{{239, 240}, {240, kEnd}}, 239, 2, ChainEnd::Complete, 2},
        {{{240, 241}}, 240, 2, ChainEnd::IntoSystem, 1},
        {{}, 241, 1, ChainEnd::IntoSystem, 0},
    };
    for (const auto& w : walks) {
        std::fill(std::begin(v->Fat()), std::end(v->Fat()), kFree);
        v->RepairSystemChains();
        for (const auto& [block, value] : w.links)
            v->Fat()[block] = value;
        SaverChain chain;
        WalkChain(*v, w.start, w.size, chain);
        EXPECT_EQ(chain.end, w.end) << int{w.start};
        EXPECT_EQ(chain.count, w.count) << int{w.start};
    }

    // The directory is 253 down to 241; a chain that goes on to 240 leaves it.
    std::fill(std::begin(v->Fat()), std::end(v->Fat()), kFree);
    v->RepairSystemChains();
    DirectoryChain directory;
    WalkDirectory(*v, directory);
    EXPECT_TRUE(directory.sound);
    ASSERT_EQ(directory.count, 13);
    EXPECT_EQ(directory.blocks[12], 241);
    v->Fat()[241] = 240;
    v->Fat()[240] = kEnd;
    WalkDirectory(*v, directory);
    EXPECT_FALSE(directory.sound);

    // A new chain takes the highest block under the user-block count.
    for (const auto& [users, first] : {std::pair{241, 240}, {240, 239}, {200, 199}}) {
        std::fill(std::begin(v->Fat()), std::end(v->Fat()), kFree);
        v->RepairSystemChains();
        v->Root()[CardVolume::kUserBlocksOffset] = static_cast<uint8_t>(users);
        BlockOwners owners;
        MapOwners(*v, owners);
        EXPECT_FALSE(IsAllocatable(*v, owners, first + 1)) << users;
        uint8_t got = 0;
        ASSERT_TRUE(AllocateAvoiding(*v, 1, false, owners, nullptr, got));
        EXPECT_EQ(got, first) << users;
    }
}

TEST(SystemEdges, CheckSeesTheLastUserBlockAndTheLastDirectoryBlock) {
    const struct {
        const char* what;
        uint8_t userBlocks;
        std::vector<uint8_t> chain;
        int entry;
        Links links;
        CardProblemKind kind; // NotFormatted: clean
        int block;
    } cases[] = {
        {"saver at 240", 241, {240, 239}, 0, {}, CardProblemKind::NotFormatted, -1},
        {"entry in block 241", 241, {240, 239}, 207, {}, CardProblemKind::ChainNoEnd, 240},
        {"240 beyond 240 users", 240, {240}, 0, {}, CardProblemKind::OutsideUserArea, 240},
        {"200 beyond 200 users", 200, {200}, 0, {}, CardProblemKind::OutsideUserArea, 200},
        {"240 leaked", 241, {}, 0, {{240, kEnd}}, CardProblemKind::LeakedBlocks, 240},
        {"241 into 240", 241, {}, 0, {{241, 240}}, CardProblemKind::SystemChains, 241},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        auto card = EdgeCard(dir, c.userBlocks, c.chain, c.entry, c.links);
        if (c.entry == 207) {
            // Another program lowers the size byte of the last entry there is.
            auto bytes = ReadFileBytes(dir.File("edge.dcm"));
            bytes[(241 * 512 + 15 * 32 + SaverEntry::kSizeOffset) ^ 3] = 1;
            WriteFileBytes(dir.File("edge.dcm"), bytes);
        }
        CardCheckReport report;
        ASSERT_TRUE(CheckCard(*card, report));
        EXPECT_EQ(report.savers, c.chain.empty() ? 0 : 1);
        if (c.kind == CardProblemKind::NotFormatted) {
            EXPECT_TRUE(report.Clean()) << report.problems.at(0).text;
        } else {
            EXPECT_TRUE(Has(report, c.kind, c.block));
        }
    }
    // 241 user blocks is a whole card; 242 is one more than there are.
    for (const int users : {241, 242}) {
        TempDir dir;
        auto card = EdgeCard(dir, 241, {});
        card->Root()[CardVolume::kUserBlocksOffset] = static_cast<uint8_t>(users);
        ASSERT_TRUE(card->WriteRoot());
        CardCheckReport report;
        ASSERT_TRUE(CheckCard(*card, report));
        EXPECT_EQ(Has(report, CardProblemKind::UserBlocks, -1), users == 242) << users;
    }
}

TEST(SystemEdges, RepairMendsUpToBlock241AndNeverFreesIt) {
    const struct {
        const char* what;
        uint8_t userBlocks;
        std::vector<uint8_t> chain;
        int entry;
        Links links;
        int usersAfter;
    } cases[] = {
        {"241 into 240", 241, {}, 0, {{241, 240}}, 241},
        {"240 leaked", 241, {}, 0, {{240, kEnd}}, 241},
        {"239 leaked", 240, {}, 0, {{239, kEnd}}, 240},
        {"saver at 199", 200, {199}, 0, {}, 200},
        {"saver at 200", 200, {200}, 0, {}, 240},
        {"saver at 239", 200, {239}, 0, {}, 240},
        {"saver at 240", 240, {240}, 0, {}, 241},
        {"size lowered in block 241", 241, {240, 239}, 207, {}, 241},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        auto card = EdgeCard(dir, c.userBlocks, c.chain, c.entry, c.links);
        if (std::string(c.what) == "size lowered in block 241") {
            card->Entries()[c.entry].Raw[SaverEntry::kSizeOffset] = 1;
            ASSERT_TRUE(card->WriteDirectory());
        }
        CardRepairReport repaired;
        ASSERT_TRUE(RepairCard(*card, repaired));
        EXPECT_TRUE(repaired.after.Clean()) << repaired.after.problems.at(0).text;
        ASSERT_TRUE(LoadVolume(*card));
        EXPECT_EQ(card->UserBlocks(), c.usersAfter);
        EXPECT_EQ(card->Fat()[241], kEnd);
        EXPECT_EQ(card->Fat()[242], 241);
        if (!c.chain.empty()) {
            EXPECT_EQ(ChainOf(*card, c.chain[0]), c.chain);
        }
    }
}

TEST(SystemEdges, SameCardCheckCoversBlock241AndNotBlock240) {
    TempDir dir;
    auto card = EdgeCard(dir, 241, {239}, 207);
    const std::string path = dir.File("edge.dcm");
    // Our own write of block 241 is what the card holds from then on.
    card->Entries()[207].Raw[SaverEntry::kStampOffset] ^= 0x01;
    ASSERT_TRUE(card->WriteDirectory());
    EXPECT_EQ(CompareWithListing(*card), ListingMatch::Same);
    for (const auto& [block, match] :
         {std::pair{240, ListingMatch::Same}, {241, ListingMatch::Changed}}) {
        ASSERT_TRUE(LoadVolume(*card));
        auto bytes = ReadFileBytes(path);
        bytes[block * 512 + 100] ^= 0xFF; // another program's change
        WriteFileBytes(path, bytes);
        EXPECT_EQ(CompareWithListing(*card), match) << block;
    }
}

TEST(SystemEdges, ADirectoryLinkOutOfItsBlocksListsNoEntryFromThereAndAnEditWritesNothing) {
    // Block 240 holds an old saver's bytes (a card formatted down to 240
    // user blocks); read as a directory block, its place 0 names block 238,
    // another saver's.
    const struct {
        const char* what;
        Links links;
        bool twin; // a second entry on OTHER's block
        int entry; // the saver edited
        bool written;
    } cases[] = {
        {"sound card", {}, false, 0, true},
        {"249 into 240", {{249, 240}}, false, 80, false},
        {"249 into 240, entry before the link", {{249, 240}}, false, 0, false},
        {"241 into 240", {{241, 240}}, false, 208, false},
        {"two entries on one block", {}, true, 1, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        auto card = EdgeCard(dir, 240, {239});
        PlaceSaver(*card, 1, Name12("OTHER"), 0x33, {238}, 4);
        if (c.twin)
            PlaceSaver(*card, 2, Name12("TWIN"), 0x33, {238}, 4);
        uint8_t leftovers[512] = {};
        leftovers[0] = 0x33;
        leftovers[SaverEntry::kFirstBlockOffset] = 238;
        std::memcpy(leftovers + SaverEntry::kNameOffset, "LEFTOVER    ", 12);
        leftovers[SaverEntry::kSizeOffset] = 1;
        SwapWords(leftovers);
        ASSERT_TRUE(card->WriteRawBlock(card->Device(), 240, leftovers));
        for (const auto& [block, value] : c.links)
            card->Fat()[block] = value;
        ASSERT_TRUE(card->WriteFat());
        ASSERT_TRUE(LoadVolume(*card));
        for (const SaverEntry& e : card->Entries())
            EXPECT_NE(e.Name, Name12("LEFTOVER"));

        const std::string path = dir.File("edge.dcm");
        const auto before = ReadFileBytes(path);
        const std::string work = dir.File("work");
        WriteFileBytes(work, std::vector<uint8_t>(512, 0xAB));
        EXPECT_EQ(ImportWorkFileToSaver(work, c.entry, *card), c.written);
        auto expected = before;
        if (c.written)
            std::fill_n(expected.begin() + 239 * 512, 512, 0xAB);
        EXPECT_TRUE(ReadFileBytes(path) == expected);
    }
}
