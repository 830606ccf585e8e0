#include "card/LoadVolume.h"

#include "card/support/CardTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace cardtest;

TEST(LoadVolume, ListsARepairedCardAndEmptiesTheListingOfAnErasedOne) {
    TempDir dir;
    RecordingFeedback ui;
    CardVolume v;
    v.SetPlace(CardPlace::Image);
    ASSERT_TRUE(v.OpenImage(dir.File("card.dcm")));
    v.Listing().SetListedCount(5); // as left by a card read before
    v.Listing().SetFreeBlocks(7);
    EXPECT_EQ(LoadVolume(v).state, VolumeLoad::NotFormatted);
    EXPECT_EQ(v.ListedCount(), 0);
    EXPECT_EQ(v.FreeBlocks(), 0);
    EXPECT_EQ(v.ListMap()[0], 0xFF);

    ASSERT_TRUE(v.FormatVolume(200));
    uint8_t* raw = v.Entries()[3].Raw;
    raw[0] = SaverEntry::kTypeData;
    raw[2] = 199;
    std::memcpy(raw + 4, "A           ", 12);
    raw[24] = 2;
    ASSERT_TRUE(v.WriteDirectory());
    LinkChain(v, {199, 198});
    // The system chains broken on the card.
    v.Fat()[CardVolume::kFatBlock] = CardVolume::kFatFree;
    v.Fat()[250] = CardVolume::kFatFree;
    ASSERT_TRUE(v.WriteFat());
    const std::vector<uint8_t> before = ReadFileBytes(dir.File("card.dcm"));
    const LoadResult load = LoadVolume(v, &ui);
    EXPECT_TRUE(load.Loaded());
    EXPECT_STREQ(load.failure, "");
    EXPECT_EQ(ui.lastPosition, 2);
    EXPECT_EQ(ui.lastMax, 3);
    // Put right in memory only.
    EXPECT_EQ(v.Fat()[CardVolume::kFatBlock], CardVolume::kFatEnd);
    EXPECT_EQ(v.Fat()[250], 249);
    EXPECT_EQ(ReadFileBytes(dir.File("card.dcm")), before);
    EXPECT_EQ(v.ListedCount(), 1);
    EXPECT_EQ(v.ListMap()[0], 3);
    EXPECT_EQ(v.FreeBlocks(), 198);

    v.CloseImage();
    ASSERT_FALSE(v.OpenImage(dir.File("gone/card.dcm")));
    const LoadResult failed = LoadVolume(v);
    EXPECT_EQ(failed.state, VolumeLoad::Failed);
    EXPECT_STREQ(failed.failure, "cannot read the root or allocation table");
    EXPECT_EQ(v.ListedCount(), 1); // the listing before is kept
}
