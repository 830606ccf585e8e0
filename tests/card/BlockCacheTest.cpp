// The command's block cache: a listing reads each block once (twice when
// verified), nothing read by one command is served to the next, and the
// same-card check reads the card itself.
#include "card/support/CardTestSupport.h"

#include "card/DemoCards.h"
#include "card/SameCard.h"
#include "link/LinkPort.h"
#include "link/emu/EmulatorBackend.h"
#include "settings/Settings.h"

#include <gtest/gtest.h>

#include <filesystem>

using cardtest::RecordingUi;
using cardtest::TempDir;

namespace {

// Counts whole-block reads (a fetch of quarter 0) per block of slot 1.
class CountingTwoSlot : public TwoSlotDevice {
  public:
    using TwoSlotDevice::TwoSlotDevice;
    bool FetchChunk(uint8_t slot, uint8_t block, uint8_t quarter) override {
        if (slot == 0 && quarter == 0)
            ++reads[block];
        return TwoSlotDevice::FetchChunk(slot, block, quarter);
    }
    int reads[256] = {};
};

class BlockCacheTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(EnsureDemoCards(dir_.Path().string()));
        auto device = std::make_unique<CountingTwoSlot>(dir_.Path().string());
        device_ = device.get();
        link_ = std::make_unique<LinkPort>(std::make_unique<EmulatorBackend>(std::move(device)),
                                           nullptr);
        link_->ShortDelay = link_->LongDelay = link_->LongestDelay = 0;
        ASSERT_TRUE(link_->DetectDevice());
        volume_.Device = CardVolume::kSlot1;
        volume_.Link = link_.get();
        volume_.Config = &settings_;
        volume_.Ui = &ui_;
    }
    // What a refresh reads: root, table, directory, and every icon frame.
    void List() {
        ASSERT_TRUE(volume_.ReadRoot());
        ASSERT_TRUE(volume_.ReadFat());
        volume_.RepairSystemChains();
        ASSERT_TRUE(volume_.ReadDirectory());
        int frames = 0;
        for (int i = 0; i < CardVolume::kListedEntries; ++i) {
            for (int f = 0; volume_.Entries[i].SizeBlocks > 0 && f < volume_.Entries[i].IconCount;
                 ++f, ++frames)
                ASSERT_TRUE(volume_.ExtractIcon(uint8_t(i), uint16_t(f), dir_.File("f.bmp")));
        }
        ASSERT_GE(frames, 3);
    }

    TempDir dir_;
    CountingTwoSlot* device_ = nullptr;
    std::unique_ptr<LinkPort> link_;
    Settings settings_;
    RecordingUi ui_;
    CardVolume volume_;
};

} // namespace

TEST_F(BlockCacheTest, AListingReadsEachBlockOncePerCommand) {
    for (const int verify : {0, 1}) {
        settings_.VerifyTransfers = static_cast<uint8_t>(verify);
        std::fill(std::begin(device_->reads), std::end(device_->reads), 0);
        {
            BlockCacheScope command(volume_);
            List();
        }
        int distinct = 0;
        for (int b = 0; b < 256; ++b) {
            EXPECT_TRUE(device_->reads[b] == 0 || device_->reads[b] == 1 + verify) << b;
            distinct += device_->reads[b] > 0;
        }
        // root, table, 13 directory blocks, and the savers' header and frames
        EXPECT_GT(distinct, 15);
    }
    EXPECT_TRUE(ui_.infos.empty());
}

TEST_F(BlockCacheTest, ASwappedCardIsSeenByTheCheckAndByTheNextCommand) {
    settings_.VerifyTransfers = 0;
    uint8_t block[512];
    {
        BlockCacheScope command(volume_);
        List();
        // Another card goes in: the empty demo card of slot 2.
        device_->SetCardPresent(0, false);
        std::filesystem::copy_file(dir_.File("slot2.dcm"), dir_.File("slot1.dcm"),
                                   std::filesystem::copy_options::overwrite_existing);
        device_->SetCardPresent(0, true);
        // Within the command the cache answers; the check before a write
        // reads the card and refuses.
        const int before = device_->reads[CardVolume::kFatBlock];
        ASSERT_TRUE(volume_.ReadRawBlock(0, CardVolume::kFatBlock, block));
        EXPECT_EQ(device_->reads[CardVolume::kFatBlock], before);
        EXPECT_EQ(CompareWithListing(volume_), ListingMatch::Changed);
    }
    BlockCacheScope next(volume_);
    volume_.ReadFat();
    int used = 0;
    for (int b = 0; b < volume_.UserBlocks(); ++b)
        used += volume_.Fat[b] != CardVolume::kFatFree;
    EXPECT_EQ(used, 0);
}
