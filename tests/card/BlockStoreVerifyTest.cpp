// Verified transfers of the block store: garbled reads are not taken, a write
// counts only once it reads back, and a write that may have landed elsewhere
// fails. Single bits are flipped on the emulated wire where the link's
// checksum cannot see them.
#include "card/support/CardTestSupport.h"

#include "link/LinkPort.h"
#include "link/emu/EmulatorBackend.h"
#include "settings/Settings.h"

#include <gtest/gtest.h>

#include <random>

using cardtest::ReadFileBytes;
using cardtest::RecordingFeedback;
using cardtest::TempDir;
using cardtest::WriteFileBytes;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Random(size_t size, uint32_t seed) {
    Bytes bytes(size);
    std::mt19937 rng(seed);
    for (uint8_t& b : bytes)
        b = static_cast<uint8_t>(rng());
    return bytes;
}

// Bytes each command clocks, opcode pair and checksum included.
constexpr uint64_t kBeginEnd = 2 + 2 + 1;
constexpr uint64_t kFetch = 2 + 3 + 1;
constexpr uint64_t kChunk = 2 + 128 + 1;
constexpr uint64_t kReadMemory = 2 + 4 + 2 + 512 + 1;
constexpr uint64_t kWriteMemory = 2 + 4 + 128 + 1;

// The nth bit (from 1) the box clocks for bit `bit` (7 = most significant) of
// byte `index` of a command that follows `before` bytes.
uint64_t BitAt(uint64_t before, uint64_t index, int bit) {
    return (before + index) * 8 + (7 - bit) + 1;
}

// The emulated box, whose checksum answers go bad at one command count and
// good again at another.
class FlakyBox : public EmulatorBackend {
  public:
    using EmulatorBackend::EmulatorBackend;
    bool Write(uint16_t port, uint8_t value) override {
        if (breakAt != 0 && Box().CommandsSeen() >= breakAt) {
            Box().Faults().wrongChecksum = true;
            breakAt = 0;
        }
        if (healAt != 0 && Box().CommandsSeen() >= healAt) {
            Box().Faults().wrongChecksum = false;
            healAt = 0;
        }
        return EmulatorBackend::Write(port, value);
    }
    uint32_t breakAt = 0;
    uint32_t healAt = 0;
};

class BlockStoreVerifyTest : public ::testing::Test {
  protected:
    void Open(bool paged) {
        card_ = Random(131072, paged ? 7 : 5);
        file_ = dir_.File(paged ? "paged.bin" : "slot1.dcm");
        WriteFileBytes(file_, card_);
        std::unique_ptr<BoxDevice> device;
        if (paged)
            device = std::make_unique<PagedDevice>(file_);
        else
            device = std::make_unique<TwoSlotDevice>(dir_.Path().string());
        auto backend = std::make_unique<FlakyBox>(std::move(device));
        flaky_ = backend.get();
        box_ = &backend->Box();
        link_ = std::make_unique<LinkPort>(std::move(backend), nullptr);
        link_->ShortDelay = link_->LongDelay = link_->LongestDelay = 0;
        ASSERT_TRUE(link_->DetectDevice());
        ASSERT_EQ(link_->DirectMode, paged);
        volume_.SetPlace(CardPlace::Slot1);
        volume_.Store().SetLink(link_.get());
        volume_.Store().SetConfig(&settings_);
        volume_.Store().SetFeedback(&ui_);
    }
    // The bit the box takes from (or presents to) the PC n bits from now.
    void FlipToBox(uint64_t n) { box_->Faults().flipTakenBit = box_->BitsTaken() + n; }
    void FlipToPc(uint64_t n) { box_->Faults().flipPresentedBit = box_->BitsPresented() + n; }
    uint32_t Commands() const { return box_->CommandsSeen(); }
    Bytes FileBlock(int b) const {
        const auto all = ReadFileBytes(file_);
        return Bytes(all.begin() + b * 512, all.begin() + (b + 1) * 512);
    }
    Bytes CardBlock(int b) const {
        return Bytes(card_.begin() + b * 512, card_.begin() + (b + 1) * 512);
    }
    bool Write(uint8_t b, const Bytes& data) {
        return volume_.WriteRawBlock(volume_.Device(), b, data.data());
    }
    void ExpectReported(const char* text) {
        EXPECT_TRUE(link_->LinkFailed);
        ASSERT_EQ(ui_.infos.size(), 1u);
        EXPECT_EQ(ui_.infos[0], text);
        EXPECT_EQ(settings_.AutoRefresh, 0);
    }

    TempDir dir_;
    Bytes card_;
    std::string file_;
    FlakyBox* flaky_ = nullptr;
    LinkBox* box_ = nullptr;
    std::unique_ptr<LinkPort> link_;
    Settings settings_;
    RecordingFeedback ui_;
    CardVolume volume_;
    uint8_t block_[512] = {};
};

} // namespace

TEST_F(BlockStoreVerifyTest, AReadGarbledOnTheWayToThePcIsNotTaken) {
    Open(false);
    // Bit 3 of byte 5 of quarter 1: the PC echoes what it received, so both
    // checksums hold the flip and the link reports success.
    const uint64_t flip = BitAt(kBeginEnd + kFetch + kChunk + kFetch, 2 + 5, 3);
    settings_.VerifyTransfers = 0;
    FlipToPc(flip);
    uint32_t start = Commands();
    ASSERT_TRUE(volume_.ReadRawBlock(0, 9, block_));
    EXPECT_EQ(Commands() - start, 10u);
    EXPECT_EQ(block_[128 + 5], CardBlock(9)[128 + 5] ^ 0x08);

    // Verified: the second read disagrees with the first; from then on the
    // line counts as noisy, and the good content has to come three times.
    settings_.VerifyTransfers = 1;
    FlipToPc(flip);
    start = Commands();
    ASSERT_TRUE(volume_.ReadRawBlock(0, 9, block_));
    EXPECT_EQ(Commands() - start, 40u);
    EXPECT_EQ(Bytes(block_, block_ + 512), CardBlock(9));
    EXPECT_TRUE(ui_.infos.empty());

    // Without settings the block store verifies as well.
    volume_.Store().SetConfig(nullptr);
    start = Commands();
    ASSERT_TRUE(volume_.ReadRawBlock(0, 10, block_));
    EXPECT_GE(Commands() - start, 30u);
    EXPECT_EQ(Bytes(block_, block_ + 512), CardBlock(10));
}

TEST_F(BlockStoreVerifyTest, ReadsAgreeWithinSixteenAttempts) {
    Open(false);
    // A failed attempt is begin access, fetch and end access; after failures
    // three good reads must agree, so 13 failures leave just enough.
    for (const uint32_t failures : {13u, 14u}) {
        ui_.infos.clear();
        settings_.AutoRefresh = 1;
        box_->Faults().wrongChecksum = true;
        flaky_->healAt = Commands() + 3 * failures;
        const bool ok = volume_.ReadRawBlock(0, 20, block_);
        flaky_->healAt = 0;
        box_->Faults().wrongChecksum = false;
        if (failures == 13) {
            EXPECT_TRUE(ok);
            EXPECT_EQ(Bytes(block_, block_ + 512), CardBlock(20));
            EXPECT_TRUE(ui_.infos.empty());
        } else {
            EXPECT_FALSE(ok);
            ExpectReported(CardBlockStore::kReadErrorText);
        }
    }
}

TEST_F(BlockStoreVerifyTest, AWriteCountsOnceItReadsBack) {
    Open(false);
    const Bytes data = Random(512, 40);
    // Bit 0 of byte 10 of quarter 1 reaches the box flipped: the checksum
    // ignores bit 0, so the link reports the write done.
    const uint64_t flip = BitAt(kBeginEnd + kChunk + kFetch, 2 + 10, 0);
    settings_.VerifyTransfers = 0;
    FlipToBox(flip);
    uint32_t start = Commands();
    ASSERT_TRUE(Write(30, data));
    EXPECT_EQ(Commands() - start, 11u);
    Bytes landed = data;
    landed[128 + 10] ^= 1;
    EXPECT_EQ(FileBlock(30), landed);

    // Verified: read back, found wrong, read until three reads agree (on a
    // line that has shown an error) on what the card holds, written again,
    // read back once.
    settings_.VerifyTransfers = 1;
    FlipToBox(flip);
    start = Commands();
    ASSERT_TRUE(Write(31, data));
    EXPECT_EQ(Commands() - start, 11u + 10u + 30u + 11u + 10u);
    EXPECT_EQ(FileBlock(31), data);
    EXPECT_TRUE(ui_.infos.empty());

    // A write that cannot be read back fails like a failed write.
    flaky_->breakAt = Commands() + 11;
    EXPECT_FALSE(Write(32, Random(512, 41)));
    ExpectReported(CardBlockStore::kWriteFailedText);
}

TEST_F(BlockStoreVerifyTest, DirectWritesSendOnlyWhatChanges) {
    Open(true);
    Bytes data = CardBlock(5);
    data[300] ^= 0xFF; // quarter 2
    uint32_t start = Commands();
    ASSERT_TRUE(Write(5, data));
    // a look, one quarter, one read back
    EXPECT_EQ(Commands() - start, 3u);
    EXPECT_EQ(FileBlock(5), data);
    start = Commands();
    ASSERT_TRUE(Write(5, data)); // nothing to send
    EXPECT_EQ(Commands() - start, 1u);
    EXPECT_EQ(ReadFileBytes(file_).size(), 131072u);
}

TEST_F(BlockStoreVerifyTest, ADirectWriteThatMayHaveLandedElsewhereFails) {
    Open(true);
    const Bytes data = Random(512, 50);
    // Bit 0 of address byte 2 of the first quarter: the quarter goes to
    // block 5 + 128, and the checksum lets it through.
    const uint64_t toOtherBlock = BitAt(kReadMemory, 4, 0);

    settings_.VerifyTransfers = 0;
    FlipToBox(toOtherBlock - kReadMemory * 8); // no look before the write
    ASSERT_TRUE(Write(5, data));               // reported done, over another saver's block
    const Bytes victim = FileBlock(133);
    EXPECT_EQ(Bytes(victim.begin(), victim.begin() + 128), Bytes(data.begin(), data.begin() + 128));

    WriteFileBytes(file_, card_);
    settings_.VerifyTransfers = 1;
    FlipToBox(toOtherBlock);
    EXPECT_FALSE(Write(5, data));
    ExpectReported(CardBlockStore::kWriteFailedText);
}

TEST_F(BlockStoreVerifyTest, ADirectWriteTheBoxRefusedIsWrittenAgain) {
    Open(true);
    const Bytes data = Random(512, 60);
    // Bit 0 of address byte 3: far beyond the page, so the box refuses the
    // quarter and answers a bad checksum; where a flipped address byte would
    // have sent it instead, nothing of ours is found, so the write goes on.
    FlipToBox(BitAt(kReadMemory, 5, 0));
    ASSERT_TRUE(Write(5, data));
    EXPECT_EQ(FileBlock(5), data);
    EXPECT_EQ(FileBlock(4), CardBlock(4));
    EXPECT_TRUE(ui_.infos.empty());
    auto expected = card_;
    std::copy(data.begin(), data.end(), expected.begin() + 5 * 512);
    EXPECT_EQ(ReadFileBytes(file_), expected);
}

TEST_F(BlockStoreVerifyTest, ALastQuarterShiftedIntoTheNextBlockFails) {
    Open(true);
    // Bit 0 of address byte 0 of the last quarter: written one byte late,
    // its last byte lands on block 6.
    const uint64_t shifted = BitAt(kReadMemory + 3 * kWriteMemory, 2, 0);
    const Bytes data = Random(512, 70);
    FlipToBox(shifted);
    EXPECT_FALSE(Write(5, data));
    ExpectReported(CardBlockStore::kWriteFailedText);
}

TEST_F(BlockStoreVerifyTest, AShiftHiddenInItsOwnBlockIsSeenInTheNext) {
    Open(true);
    // A last quarter whose halves repeat (here all zero) looks in place when
    // shifted over a first byte that already held its value; the start of
    // the next block, read before and after, gives it away.
    card_[5 * 512 + 384] = 0;
    card_[6 * 512] = 0x77;
    WriteFileBytes(file_, card_);
    Bytes zeros = Random(512, 71);
    std::fill(zeros.begin() + 384, zeros.end(), uint8_t{0});
    // A look at the block and one at the next block's start come first.
    FlipToBox(BitAt(2 * kReadMemory + 3 * kWriteMemory, 2, 0));
    EXPECT_FALSE(Write(5, zeros));
    ExpectReported(CardBlockStore::kWriteFailedText);
    EXPECT_EQ(FileBlock(5), zeros); // in place, it seems...
    EXPECT_EQ(FileBlock(6)[0], 0);  // ...but the next block was hit
}

TEST_F(BlockStoreVerifyTest, ABoxThatAnswersBitZeroSavesTheLookButNotTheGuard) {
    Open(true);
    settings_.VerifyTransfers = 0;
    for (int i = 0; i < 70; ++i)
        ASSERT_TRUE(volume_.ReadRawBlock(0, 0, block_));
    settings_.VerifyTransfers = 1;
    ASSERT_TRUE(link_->AnswersBitZero());

    // Four quarters and one read back.
    const Bytes data = Random(512, 80);
    uint32_t start = Commands();
    ASSERT_TRUE(Write(5, data));
    EXPECT_EQ(Commands() - start, 5u);
    EXPECT_EQ(FileBlock(5), data);

    // A first quarter that already held its bytes, sent to block 6 + 128 by a
    // flip the check ignores: the block reads right, the answer's bit 0 tells.
    Bytes same = CardBlock(6);
    std::fill(same.begin() + 128, same.end(), uint8_t{0x33});
    FlipToBox(BitAt(0, 4, 0));
    EXPECT_FALSE(Write(6, same));
    ExpectReported(CardBlockStore::kWriteFailedText);
}
