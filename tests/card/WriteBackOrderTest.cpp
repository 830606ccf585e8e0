// The write-back of table and directory over the link, when the link fails
// after a block was committed: the card always ends with a table and a
// directory that agree.
#include "card/CardCheck.h"
#include "card/DciFile.h"
#include "card/ReplaceSaver.h"
#include "card/TransferEngine.h"
#include "card/support/EngineSupport.h"
#include "link/LinkPort.h"
#include "link/emu/BoxDevice.h"
#include "link/emu/EmulatorBackend.h"
#include "settings/Settings.h"

#include <gtest/gtest.h>

#include <memory>

using namespace engine_test;

namespace {

// The two-slot unit, which after committing a watched block (past `skip`
// commits of it) either lets the next command, the closing one of that
// block, time out (the block is on the card, but the link reports a
// failure), or breaks the link for good.
class FailAfterCommit : public TwoSlotDevice {
  public:
    using TwoSlotDevice::TwoSlotDevice;
    bool CommitBlock(uint8_t slot, uint8_t block) override {
        const bool ok = TwoSlotDevice::CommitBlock(slot, block);
        if (!ok || box == nullptr || block != watched || armed == 0)
            return ok;
        if (skip > 0) {
            --skip;
            return ok;
        }
        --armed;
        if (breakLink)
            box->Faults().wrongChecksum = true;
        else
            box->Faults().stallCommand = box->CommandsSeen() + 1;
        return ok;
    }
    LinkBox* box = nullptr;
    int watched = -1;
    int skip = 0;
    int armed = 0;
    bool breakLink = false;
};

class WriteBackOrder : public ::testing::Test {
  protected:
    void SetUp() override {
        auto card = std::make_unique<CardVolume>();
        ASSERT_TRUE(MakeImage(*card, dir_.File("slot1.dcm")));
        PlaceSaver(*card, 0, Name12("KEEP"), 0x33, {199, 198}, 1);
        PlaceSaver(*card, 1, Name12("OLD"), 0x33, {150, 149, 148}, 2);
        card->CloseImage();
        auto device = std::make_unique<FailAfterCommit>(dir_.Path().string());
        device_ = device.get();
        auto backend = std::make_unique<EmulatorBackend>(std::move(device));
        device_->box = &backend->Box();
        link_ = std::make_unique<LinkPort>(std::move(backend), nullptr);
        link_->ShortDelay = link_->LongDelay = link_->LongestDelay = 0;
        ASSERT_TRUE(link_->DetectDevice());
        settings_.VerifyTransfers = 0; // one transfer per block: the stall hits where aimed
        slot_.SetPlace(CardPlace::Slot1);
        slot_.Store().SetLink(link_.get());
        slot_.Store().SetConfig(&settings_);
        slot_.Store().SetFeedback(&ui_);
        ASSERT_TRUE(LoadVolume(slot_));
        source_.Store().SetFeedback(&ui_);
        ASSERT_TRUE(MakeImage(source_, dir_.File("source.dcm")));
        PlaceSaver(source_, 0, Name12("OLD"), 0x33, {30, 31}, 3);
    }

    std::vector<uint8_t> Card() const { return ReadFileBytes(dir_.File("slot1.dcm")); }
    static std::vector<uint8_t> Tables(const std::vector<uint8_t>& card) {
        return std::vector<uint8_t>(card.begin() + 241 * 512, card.end());
    }
    // The card as a fresh check sees it, the link mended.
    CardCheckReport Check() {
        device_->box->Faults().wrongChecksum = false;
        link_->LinkFailed = false;
        CardCheckReport report;
        EXPECT_TRUE(CheckCard(slot_, report));
        EXPECT_TRUE(LoadVolume(slot_));
        return report;
    }
    void FailAfter(int block, bool breakLink = false, int skip = 0) {
        device_->watched = block;
        device_->armed = 1;
        device_->skip = skip;
        device_->breakLink = breakLink;
    }

    TempDir dir_;
    FailAfterCommit* device_ = nullptr;
    std::unique_ptr<LinkPort> link_;
    Settings settings_;
    RecordingFeedback ui_;
    CardVolume slot_;
    CardVolume source_;
};

TEST_F(WriteBackOrder, TableCommittedThenLinkFailsPutsTheOldTableBack) {
    const auto before = Card();
    FailAfter(CardVolume::kFatBlock);
    EXPECT_FALSE(CopySaver(source_, 0, slot_));
    EXPECT_EQ(device_->armed, 0);
    // Only the free blocks the copy went to changed; table and directory are
    // the old ones, on the card and in memory.
    EXPECT_EQ(Tables(Card()), Tables(before));
    EXPECT_EQ(slot_.Entries()[2].SizeBlocks, 0);
    EXPECT_TRUE(Check().Clean());
    EXPECT_EQ(slot_.ListedCount(), 2);
}

TEST_F(WriteBackOrder, DeleteWritesTheDirectoryFirstAndPutsItBack) {
    const auto before = Card();
    FailAfter(CardVolume::kDirFirstBlock);
    EXPECT_FALSE(DeleteSaver(slot_, 1));
    EXPECT_EQ(device_->armed, 0);
    EXPECT_EQ(Card(), before);
    EXPECT_TRUE(Check().Clean());
    EXPECT_EQ(EntryNamed(slot_, Name12("OLD")), 1);
}

TEST_F(WriteBackOrder, ReplaceCutOffBeforeItsLastTableLeavesOnlyFreeableBlocks) {
    // Table with old and new chains, directory, final table: the link dies
    // once the directory is on the card.
    const auto keep = ChainBytes(slot_, {199, 198});
    FailAfter(CardVolume::kDirFirstBlock, true);
    const SaverResult r = ReplaceSaverByCopy(source_, 0, slot_, 1);
    EXPECT_EQ(r.outcome, SaverOutcome::WriteFailed);
    const CardCheckReport report = Check();
    // The new OLD and KEEP are whole; the old OLD's blocks belong to nobody.
    const int now = EntryNamed(slot_, Name12("OLD"));
    ASSERT_GE(now, 0);
    EXPECT_EQ(ChainBytes(slot_, ChainOf(slot_, slot_.Entries()[now].FirstBlock)),
              ChainBytes(source_, {30, 31}));
    EXPECT_EQ(ChainBytes(slot_, ChainOf(slot_, 199)), keep);
    ASSERT_FALSE(report.Clean());
    for (const CardProblem& p : report.problems)
        EXPECT_TRUE(p.kind == CardProblemKind::LeakedBlocks || p.kind == CardProblemKind::FreeCount)
            << p.text;
    CardRepairReport repaired;
    ASSERT_TRUE(RepairCard(slot_, repaired));
    EXPECT_TRUE(repaired.after.Clean());
}

} // namespace
