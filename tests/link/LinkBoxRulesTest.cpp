// The emulated box keeps to the wire protocol as strictly as hardware: busy
// polls, clock edges, framing and the order of the chunk commands.
#include "link/support/LinkTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace linktest;

namespace {

struct Unit {
    Unit() {
        WriteFileBytes(dir.Path() / "slot1.dcm", PatternCard(1));
        WriteFileBytes(dir.Path() / "slot2.dcm", PatternCard(2));
        auto emu =
            std::make_unique<EmulatorBackend>(std::make_unique<TwoSlotDevice>(dir.Path().string()));
        box = &emu->Box();
        auto traced = std::make_unique<TraceBackend>(std::move(emu));
        trace = traced.get();
        link = FastLink(std::move(traced));
    }
    TempDir dir;
    LinkBox* box;
    TraceBackend* trace;
    std::unique_ptr<LinkPort> link;
};

// Status reads from the first write of a command to the control line rising
// (the ready wait) and from there to the first clock edge (the release wait).
void HandshakePolls(const std::vector<PortOp>& ops, int& ready, int& release) {
    ready = release = 0;
    int* counting = &ready;
    for (const PortOp& op : ops) {
        if (op.write && op.port == 890 && op.value == 1)
            counting = &release;
        else if (op.write && op.port == 888 && op.value != 1)
            break;
        else if (!op.write && op.port == 889)
            ++*counting;
    }
}

// Drives the box's registers by hand, as a PC would.
struct Wire {
    explicit Wire(LinkBox& b) : box(b) {}
    bool Line() { return (box.ReadRegister(1) & 0x40) != 0; }
    // Waits for ready, raises the control line, waits for the release.
    void Start() {
        box.WriteRegister(0, 1);
        for (int i = 0; i < 800 && !Line(); ++i) {
        }
        box.WriteRegister(2, 1);
        for (int i = 0; i < 800 && Line(); ++i) {
        }
    }
    // One byte, most significant bit first, the box's bit read after the rise.
    uint8_t Byte(uint8_t out) {
        uint8_t in = 0;
        for (int bit = 7; bit >= 0; --bit) {
            const uint8_t d = ((out >> bit) & 1) ? 2 : 0;
            box.WriteRegister(0, d | 1);
            box.WriteRegister(0, d);
            box.WriteRegister(0, d | 1);
            in = static_cast<uint8_t>((in << 1) | (Line() ? 1 : 0));
        }
        return in;
    }
    void End() { box.WriteRegister(2, 0); }
    LinkBox& box;
};

} // namespace

TEST(LinkBoxRules, TheBoxIsBusyForSomePollsBeforeEachLineChange) {
    Unit u;
    uint16_t page = 0;
    ASSERT_TRUE(u.link->GetPage(page)); // the box starts out ready
    u.trace->ops.clear();
    ASSERT_TRUE(u.link->GetPage(page));
    int ready = 0, release = 0;
    HandshakePolls(u.trace->ops, ready, release);
    EXPECT_EQ(ready, 32 + 1);
    EXPECT_EQ(release, 32 + 1);

    // The "16M set page" command waits the same way (refused by this unit,
    // but answered in time).
    u.trace->ops.clear();
    EXPECT_FALSE(u.link->SetPage16M(3));
    EXPECT_FALSE(u.link->LinkFailed);
    HandshakePolls(u.trace->ops, ready, release);
    EXPECT_EQ(ready, 33);

    u.box->Rules().readyPolls = 500;
    u.box->Rules().releasePolls = 700;
    ASSERT_TRUE(u.link->GetPage(page));
    EXPECT_TRUE(u.link->GetPage(page));
    EXPECT_EQ(page, 255);
}

TEST(LinkBoxRules, APcThatDoesNotWaitForReadyIsNotHeard) {
    TempDir dir;
    WriteFileBytes(dir.Path() / "paged.bin", PatternCard(4));
    PagedDevice device((dir.Path() / "paged.bin").string());
    LinkBox box(device);
    Wire wire(box);
    wire.Start();
    EXPECT_EQ(wire.Byte(0x40), 0xA9);
    wire.End();
    const uint32_t seen = box.CommandsSeen();
    box.WriteRegister(2, 1); // at once: the box is still busy
    EXPECT_NE(wire.Byte(0x40), 0xA9);
    wire.End();
    EXPECT_EQ(box.CommandsSeen(), seen);
}

TEST(LinkBoxRules, BitsChangeHandsOnTheirOwnClockEdges) {
    TempDir dir;
    WriteFileBytes(dir.Path() / "paged.bin", PatternCard(4));
    PagedDevice device((dir.Path() / "paged.bin").string());
    for (const bool strict : {true, false}) {
        LinkBox box(device);
        box.Rules().strictClock = strict;
        Wire wire(box);
        wire.Start();
        ASSERT_FALSE(wire.Line());
        box.WriteRegister(0, 3); // data 1, clock high
        box.WriteRegister(0, 2); // falling edge: the box takes the bit
        // The first bit of 0xA9 (a 1) appears only after the rising edge.
        EXPECT_EQ(wire.Line(), !strict) << strict;
        box.WriteRegister(0, 3);
        EXPECT_TRUE(wire.Line()) << strict;
        wire.End();
    }
}

TEST(LinkBoxRules, DataChangedWhileTheClockIsLowSpoilsTheCommand) {
    // Before every data-register write with the clock low, from the nth on,
    // puts the data line the other way first: a glitch while the clock is low.
    class Glitching : public TraceBackend {
      public:
        using TraceBackend::TraceBackend;
        bool Write(uint16_t port, uint8_t value) override {
            if (port == 888 && (value & 1) == 0 && ++lowWrites == glitchAt)
                TraceBackend::Write(port, value ^ 2);
            return TraceBackend::Write(port, value);
        }
        int lowWrites = 0;
        int glitchAt = 0;
    };
    TempDir dir;
    WriteFileBytes(dir.Path() / "paged.bin", PatternCard(4, 3 * 131072));
    auto emu = std::make_unique<EmulatorBackend>(
        std::make_unique<PagedDevice>((dir.Path() / "paged.bin").string()));
    LinkBox& box = emu->Box();
    auto glitching = std::make_unique<Glitching>(std::move(emu));
    Glitching* g = glitching.get();
    auto link = FastLink(std::move(glitching));
    g->glitchAt = 16 + 3; // SetPage: third bit of the page's low byte
    EXPECT_FALSE(link->SetPage(2));
    EXPECT_EQ(box.FramingErrors(), 1u);
    EXPECT_EQ(static_cast<PagedDevice&>(box.Device()).CurrentPage(), 0); // not carried out
    EXPECT_TRUE(link->SetPage(2));
    EXPECT_EQ(static_cast<PagedDevice&>(box.Device()).CurrentPage(), 2);
}

TEST(LinkBoxRules, ChunkCommandsOutOfOrderAreRefusedAndWriteNothing) {
    Unit u;
    LinkPort& link = *u.link;
    const auto before = ReadFileBytes(u.dir.Path() / "slot1.dcm");
    uint8_t chunk[128];
    std::vector<uint8_t> data(128, 0x5A);

    ASSERT_TRUE(link.BeginBlockAccess());
    EXPECT_FALSE(link.ReadChunk(chunk)); // nothing fetched
    ASSERT_TRUE(link.FetchChunk(0, 3, 1));
    EXPECT_TRUE(link.ReadChunk(chunk));
    EXPECT_EQ(std::memcmp(chunk, before.data() + 3 * 512 + 128, 128), 0);
    EXPECT_FALSE(link.ReadChunk(chunk)); // a fetched chunk is read once

    EXPECT_FALSE(link.StoreChunk(0, 10, 0)); // nothing written
    ASSERT_TRUE(link.WriteChunk(data.data()));
    ASSERT_TRUE(link.StoreChunk(0, 10, 0));
    EXPECT_FALSE(link.StoreChunk(0, 10, 1)); // that chunk is stored already
    ASSERT_TRUE(link.WriteChunk(data.data()));
    EXPECT_FALSE(link.StoreChunk(1, 10, 1)); // block 10 of slot 1 is being staged
    EXPECT_FALSE(link.StoreChunk(0, 11, 1));
    EXPECT_FALSE(link.CommitBlock(0, 11));
    EXPECT_FALSE(link.CommitBlock(1, 10));
    EXPECT_EQ(ReadFileBytes(u.dir.Path() / "slot1.dcm"), before);
    EXPECT_TRUE(link.EndBlockAccess());

    // Ending block access forgets the staged block.
    ASSERT_TRUE(link.BeginBlockAccess());
    EXPECT_FALSE(link.CommitBlock(0, 10));
    EXPECT_TRUE(link.EndBlockAccess());
    EXPECT_EQ(ReadFileBytes(u.dir.Path() / "slot1.dcm"), before);
    EXPECT_EQ(ReadFileBytes(u.dir.Path() / "slot2.dcm"), PatternCard(2));

    // In order, the same commands write just the stored quarter.
    ASSERT_TRUE(link.BeginBlockAccess());
    ASSERT_TRUE(link.WriteChunk(data.data()));
    ASSERT_TRUE(link.StoreChunk(0, 10, 2));
    ASSERT_TRUE(link.CommitBlock(0, 10));
    EXPECT_FALSE(link.CommitBlock(0, 10)); // committed: nothing staged now
    ASSERT_TRUE(link.EndBlockAccess());
    auto expected = before;
    std::memset(expected.data() + 10 * 512 + 256, 0x5A, 128);
    EXPECT_EQ(ReadFileBytes(u.dir.Path() / "slot1.dcm"), expected);

    // The forgiving unit of old took them all.
    u.box->Rules().strictOrder = false;
    ASSERT_TRUE(link.BeginBlockAccess());
    EXPECT_TRUE(link.ReadChunk(chunk));
    EXPECT_TRUE(link.CommitBlock(0, 11));
}

TEST(LinkBoxRules, RelaxedRulesStillCarryWholeBlocks) {
    Unit u;
    BoxRules& rules = u.box->Rules();
    rules.readyPolls = rules.releasePolls = 0;
    rules.strictClock = rules.strictOrder = false;
    ASSERT_TRUE(u.link->DetectDevice());
    const auto fresh = PatternCard(9, 512);
    ASSERT_TRUE(u.link->WriteBlock(1, 200, fresh.data()));
    uint8_t block[512];
    ASSERT_TRUE(u.link->ReadBlock(1, 200, block));
    EXPECT_EQ(std::memcmp(block, fresh.data(), 512), 0);
    int ready = 0, release = 0;
    u.trace->ops.clear();
    uint16_t page = 0;
    ASSERT_TRUE(u.link->GetPage(page));
    HandshakePolls(u.trace->ops, ready, release);
    EXPECT_EQ(ready, 1);
    EXPECT_EQ(release, 1);
}
