// A command reads each block once (twice verified); nothing it read is served
// to the next command, nor to the same-card check.
#include "card/support/CardTestSupport.h"

#include "card/DemoCards.h"
#include "card/SameCard.h"
#include "link/LinkPort.h"
#include "link/emu/EmulatorBackend.h"
#include "settings/Settings.h"

#include <gtest/gtest.h>

namespace {

// Counts whole-block reads (a fetch of quarter 0) per block of slot 1.
class CountingTwoSlot : public TwoSlotDevice {
  public:
    using TwoSlotDevice::TwoSlotDevice;
    bool FetchChunk(uint8_t slot, uint8_t block, uint8_t quarter) override {
        reads[block] += slot == 0 && quarter == 0;
        return TwoSlotDevice::FetchChunk(slot, block, quarter);
    }
    int reads[256] = {};
};

} // namespace

TEST(BlockCacheTest, ACommandReadsEachBlockOnceAndTheNextReadsTheCardAgain) {
    cardtest::TempDir dir;
    ASSERT_TRUE(EnsureDemoCards(dir.Path().string()));
    auto device = std::make_unique<CountingTwoSlot>(dir.Path().string());
    CountingTwoSlot& box = *device;
    LinkPort link(std::make_unique<EmulatorBackend>(std::move(device)), nullptr);
    link.ShortDelay = link.LongDelay = link.LongestDelay = 0;
    ASSERT_TRUE(link.DetectDevice());
    Settings settings;
    cardtest::RecordingFeedback ui;
    CardVolume vol;
    vol.Store().SetLink(&link);
    vol.Store().SetConfig(&settings);
    vol.Store().SetFeedback(&ui);
    // What a refresh reads: root, table, directory and every icon frame.
    const auto list = [&] {
        ASSERT_TRUE(vol.ReadRoot() && vol.ReadFat());
        vol.RepairSystemChains();
        ASSERT_TRUE(vol.ReadDirectory());
        for (int i = 0; i < CardVolume::kListedEntries; ++i)
            for (int f = 0; vol.Entries()[i].SizeBlocks > 0 && f < vol.Entries()[i].IconCount; ++f)
                ASSERT_TRUE(vol.ExtractIcon(uint8_t(i), uint16_t(f), dir.File("f.bmp")));
    };
    for (const int verify : {0, 1}) {
        settings.VerifyTransfers = static_cast<uint8_t>(verify);
        std::fill(std::begin(box.reads), std::end(box.reads), 0);
        {
            BlockCacheScope command(vol);
            list();
        }
        int distinct = 0;
        for (int b = 0; b < 256; ++b) {
            EXPECT_TRUE(box.reads[b] == 0 || box.reads[b] == 1 + verify) << b;
            distinct += box.reads[b] > 0;
        }
        EXPECT_GT(distinct, 15); // the system blocks and the savers' frames
    }

    // Another card goes in (the empty one of slot 2) while a command runs:
    // its cache still answers, the check before a write reads the card.
    settings.VerifyTransfers = 0;
    uint8_t block[512];
    {
        BlockCacheScope command(vol);
        list();
        box.SetCardPresent(0, false);
        std::filesystem::copy_file(dir.File("slot2.dcm"), dir.File("slot1.dcm"),
                                   std::filesystem::copy_options::overwrite_existing);
        box.SetCardPresent(0, true);
        const int before = box.reads[CardVolume::kFatBlock];
        ASSERT_TRUE(vol.ReadRawBlock(0, CardVolume::kFatBlock, block));
        EXPECT_EQ(box.reads[CardVolume::kFatBlock], before);
        EXPECT_EQ(CompareWithListing(vol), ListingMatch::Changed);
    }
    BlockCacheScope next(vol);
    ASSERT_TRUE(vol.ReadFat());
    int used = 0;
    for (int b = 0; b < vol.UserBlocks(); ++b)
        used += vol.Fat()[b] != CardVolume::kFatFree;
    EXPECT_EQ(used, 0);
    EXPECT_TRUE(ui.infos.empty());
}
