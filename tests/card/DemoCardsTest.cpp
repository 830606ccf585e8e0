#include "card/DemoCards.h"
#include "card/CardVolume.h"
#include "card/DemoSavers.h"
#include "card/LoadVolume.h"
#include "card/support/CardTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

using namespace cardtest;
namespace fs = std::filesystem;

namespace {

// The card as the main window reads it, listed.
std::unique_ptr<CardVolume> OpenListed(const std::string& path) {
    auto card = std::make_unique<CardVolume>();
    card->SetPlace(CardPlace::Image);
    EXPECT_TRUE(card->OpenImage(path));
    EXPECT_EQ(LoadVolume(*card).state, VolumeLoad::Loaded);
    return card;
}

const SaverEntry* Listed(const CardVolume& card, const std::string& name) {
    for (int i = 0; i < card.ListedCount(); ++i) {
        const SaverEntry& e = card.Entries()[card.ListMap()[i]];
        if (e.TrimmedName() == name)
            return &e;
    }
    return nullptr;
}

int FreeInTable(const CardVolume& card) {
    int free = 0;
    for (int b = 0; b < card.UserBlocks(); ++b)
        free += card.Fat()[b] == CardVolume::kFatFree ? 1 : 0;
    return free;
}

} // namespace

TEST(DemoCardsTest, Slot1HoldsTheDemoSaversAndSlot2IsEmpty) {
    TempDir dir;
    const std::string folder = dir.File("box/cards"); // made when missing
    std::string error;
    ASSERT_TRUE(EnsureDemoCards(folder, &error)) << error;
    // Only the two cards: no scratch file is left behind.
    int files = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
        ++files;
        EXPECT_EQ(fs::file_size(entry.path()), 131072u) << entry.path();
    }
    EXPECT_EQ(files, 2);

    auto slot1 = OpenListed(folder + "/slot1.dcm");
    ASSERT_EQ(slot1->ListedCount(), 3);

    const SaverEntry* game = Listed(*slot1, kDemoGameName);
    ASSERT_NE(game, nullptr);
    EXPECT_TRUE(game->IsGame);
    EXPECT_EQ(game->Raw[0], SaverEntry::kTypeGame);
    EXPECT_EQ(game->Raw[2], 0);
    EXPECT_EQ(game->Raw[3], 0);
    EXPECT_EQ(game->SizeBlocks, kDemoGameBlocks);
    EXPECT_EQ(game->IconCount, kDemoGameFrames);
    EXPECT_EQ(game->Description.substr(0, 16), "Mini 86K program");
    uint8_t chain[8];
    ASSERT_EQ(slot1->CollectChain(0, chain, 8), kDemoGameBlocks);
    EXPECT_EQ(chain[1], 1);
    // The program starts with its reset jump.
    uint8_t block0[512];
    ReadNatural(*slot1, 0, block0);
    EXPECT_EQ(block0[0], 0x21);
    EXPECT_EQ(block0[1], 0x00);
    EXPECT_EQ(block0[2], 0x54);

    const SaverEntry* data = Listed(*slot1, kDemoDataName);
    ASSERT_NE(data, nullptr);
    EXPECT_FALSE(data->IsGame);
    EXPECT_EQ(data->SizeBlocks, kDemoDataBlocks);
    EXPECT_EQ(data->IconCount, kDemoDataFrames);
    EXPECT_EQ(data->Description.substr(0, 12), "Porvane demo");
    EXPECT_EQ(slot1->CollectChain(data->FirstBlock, chain, 8), kDemoDataBlocks);
    const uint8_t dataIndex = static_cast<uint8_t>(data - slot1->Entries());
    EXPECT_TRUE(slot1->ExtractIcon(dataIndex, 2, dir.File("frame2.bmp")));
    EXPECT_EQ(fs::file_size(dir.File("frame2.bmp")), 2102u);
    EXPECT_FALSE(slot1->ExtractIcon(dataIndex, 3, dir.File("frame3.bmp")));

    const SaverEntry* logo = Listed(*slot1, SaverEntry::kLogoName);
    ASSERT_NE(logo, nullptr);
    EXPECT_EQ(logo->SizeBlocks, 2);
    EXPECT_EQ(logo->Description, SaverEntry::kLogoDescription);
    uint8_t caption[512];
    ReadNatural(*slot1, logo->FirstBlock, caption);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(caption), 16), "PORVANE DEMO    ");

    // The free count adds up, in the listing and in the table alike.
    EXPECT_EQ(slot1->FreeBlocks(), 200 - kDemoGameBlocks - kDemoDataBlocks - 2);
    EXPECT_EQ(FreeInTable(*slot1), slot1->FreeBlocks());

    auto slot2 = OpenListed(folder + "/slot2.dcm");
    EXPECT_EQ(slot2->ListedCount(), 0);
    EXPECT_EQ(slot2->FreeBlocks(), 200);
    EXPECT_EQ(FreeInTable(*slot2), 200);
}

TEST(DemoCardsTest, ExistingCardsAreNeverReplaced) {
    TempDir dir;
    const std::vector<uint8_t> mine = {'n', 'o', 't', ' ', 'a', ' ', 'c', 'a', 'r', 'd'};
    WriteFileBytes(dir.File("slot1.dcm"), mine);
    ASSERT_TRUE(EnsureDemoCards(dir.Path().string()));
    EXPECT_EQ(ReadFileBytes(dir.File("slot1.dcm")), mine);
    const std::vector<uint8_t> slot2 = ReadFileBytes(dir.File("slot2.dcm"));
    EXPECT_EQ(slot2.size(), 131072u);
    // Once more: both stay as they are.
    ASSERT_TRUE(EnsureDemoCards(dir.Path().string()));
    EXPECT_EQ(ReadFileBytes(dir.File("slot1.dcm")), mine);
    EXPECT_EQ(ReadFileBytes(dir.File("slot2.dcm")), slot2);
}

TEST(DemoCardsTest, UnwritableFolderLeavesNothingBehind) {
    TempDir dir;
    // A folder that cannot be made.
    WriteFileBytes(dir.File("file"), {1, 2, 3});
    std::string error;
    EXPECT_FALSE(EnsureDemoCards(dir.File("file/cards"), &error));
    EXPECT_FALSE(error.empty());

    // A folder that cannot be written to.
    const std::string locked = dir.File("locked");
    fs::create_directory(locked);
    fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                fs::perms::group_exec | fs::perms::others_read |
                                fs::perms::others_exec);
    const int code = porvane_test::RunAsNobody([&] {
        std::string why;
        return !EnsureDemoCards(locked, &why) && !why.empty() ? 0 : 1;
    });
    if (code == porvane_test::kCannotDropRoot)
        GTEST_SKIP() << "cannot give up root";
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(fs::is_empty(locked));
}
