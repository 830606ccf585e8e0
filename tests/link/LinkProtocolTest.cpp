// Port-level behaviour of the link protocol: what goes over the wire, and how
// the handshake gives up.
#include "link/support/LinkTestSupport.h"

#include <gtest/gtest.h>

using namespace linktest;

namespace {

struct TracedEmulator {
    explicit TracedEmulator(const TempDir& dir, LinkHost* host = nullptr) {
        auto emu =
            std::make_unique<EmulatorBackend>(std::make_unique<TwoSlotDevice>(dir.Path().string()));
        box = emu.get();
        auto trace_ = std::make_unique<TraceBackend>(std::move(emu));
        trace = trace_.get();
        link = FastLink(std::move(trace_), host);
    }
    EmulatorBackend* box;
    TraceBackend* trace;
    std::unique_ptr<LinkPort> link;
};

std::vector<uint8_t> DataWrites(const std::vector<PortOp>& ops) {
    std::vector<uint8_t> values;
    for (const PortOp& op : ops)
        if (op.write && op.port == 888)
            values.push_back(op.value);
    return values;
}

} // namespace

TEST(LinkProtocol, SetSpeedPresets) {
    auto link = FastLink(std::make_unique<TraceBackend>());
    const struct {
        int32_t value, s, l, ll;
    } cases[] = {{999, 500, 80, 8},
                 {1000, 90000, 1000, 100},
                 {99999, 90000, 1000, 100},
                 {100000, 180000, 2000, 200}};
    for (const auto& c : cases) {
        link->SetSpeed(c.value);
        EXPECT_EQ(link->ShortDelay, c.s) << c.value;
        EXPECT_EQ(link->LongDelay, c.l) << c.value;
        EXPECT_EQ(link->LongestDelay, c.ll) << c.value;
    }
}

TEST(LinkProtocol, ExchangeByteClocksMostSignificantBitFirst) {
    SteppingHost host(1);
    auto trace = std::make_unique<TraceBackend>();
    TraceBackend* t = trace.get();
    auto link = FastLink(std::move(trace), &host);
    link->BeginCommand(); // sets the addresses; the scripted port answers 0
    t->ops.clear();
    link->DataLatch = 1;
    link->ExchangeByte(0x80);
    const std::vector<uint8_t> expected = {3, 2, 3, 1, 0, 1, 1, 0, 1, 1, 0, 1,
                                           1, 0, 1, 1, 0, 1, 1, 0, 1, 1, 0, 1};
    EXPECT_EQ(DataWrites(t->ops), expected);
    // one status read per bit, after the clock went high again
    size_t reads = 0;
    for (const PortOp& op : t->ops)
        reads += !op.write;
    EXPECT_EQ(reads, 8u);
}

TEST(LinkProtocol, GetSlotStatusAndSetPageFrames) {
    TempDir dir;
    WriteFileBytes(dir.Path() / "slot1.dcm", PatternCard(1));
    WriteFileBytes(dir.Path() / "slot2.dcm", PatternCard(2));
    TracedEmulator e(dir);

    bool card1 = false, card2 = false;
    ASSERT_TRUE(e.link->GetSlotStatus(card1, card2));
    EXPECT_TRUE(card1);
    EXPECT_TRUE(card2);
    ASSERT_TRUE(e.link->SetPage(0x0102));

    const auto frames = DecodeFrames(e.trace->ops);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].sent, (std::vector<uint8_t>{0xA5, 0xCC, 0x55, 0x3C}));
    ASSERT_EQ(frames[0].received.size(), 4u);
    EXPECT_EQ(frames[0].received[0], 0xA9);
    EXPECT_EQ(frames[0].received[1], 0x55);
    EXPECT_EQ(frames[0].received[2], 0x03);
    EXPECT_EQ(frames[0].received[3] | 1, 0x3D);
    EXPECT_EQ(frames[1].sent, (std::vector<uint8_t>{0x40, 0x6A, 0x02, 0x01, 0x29}));
    EXPECT_EQ(frames[1].received.back(), 0x29);
    // the control line is low between commands
    EXPECT_EQ(e.trace->ops.back().port, 890);
    EXPECT_EQ(e.trace->ops.back().value, 0);

    // one empty slot: its bit is clear
    e.box->Box().Device();
    static_cast<TwoSlotDevice&>(e.box->Device()).SetCardPresent(1, false);
    ASSERT_TRUE(e.link->GetSlotStatus(card1, card2));
    EXPECT_TRUE(card1);
    EXPECT_FALSE(card2);
}

TEST(LinkProtocol, ChecksumBitZeroIgnoredExceptForPageCommands) {
    TempDir dir;
    WriteFileBytes(dir.Path() / "slot1.dcm", PatternCard(1));
    TracedEmulator e(dir);
    e.box->Box().Faults().checksumXor = 0x01;
    uint8_t chunk[128];
    ASSERT_TRUE(e.link->BeginBlockAccess());
    ASSERT_TRUE(e.link->FetchChunk(0, 3, 1));
    EXPECT_TRUE(e.link->ReadChunk(chunk));
    uint16_t page = 0;
    EXPECT_FALSE(e.link->GetPage(page));
    EXPECT_EQ(page, 255); // stored before the check
    EXPECT_FALSE(e.link->SetPage(0));
    EXPECT_FALSE(e.link->LinkFailed);

    e.box->Box().Faults().checksumXor = 0;
    ASSERT_TRUE(e.link->FetchChunk(0, 3, 2));
    e.box->Box().Faults().checksumXor = 0x02;
    EXPECT_FALSE(e.link->ReadChunk(chunk));
}

TEST(LinkProtocol, WrongAcknowledgementStopsBeforeArguments) {
    TempDir dir;
    WriteFileBytes(dir.Path() / "slot1.dcm", PatternCard(1));
    TracedEmulator e(dir);
    e.box->Box().Faults().wrongAck = true;
    EXPECT_FALSE(e.link->FetchChunk(0, 1, 2));
    EXPECT_FALSE(e.link->LinkFailed);
    const auto frames = DecodeFrames(e.trace->ops);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].sent, (std::vector<uint8_t>{0x03, 0x3A}));
    EXPECT_EQ(frames[0].received[1], 0x54);
    EXPECT_EQ(e.trace->ops.back().port, 890);
    EXPECT_EQ(e.trace->ops.back().value, 0);
}

TEST(LinkProtocol, NoBoxTimesOutInReadyWaitWithoutTouchingLabel) {
    SteppingHost host(400); // the clock second moves every 400 clock reads
    auto trace = std::make_unique<TraceBackend>();
    TraceBackend* t = trace.get();
    auto link = FastLink(std::move(trace), &host);
    uint16_t page = 0;
    EXPECT_FALSE(link->GetPage(page));
    EXPECT_TRUE(link->LinkFailed);
    EXPECT_EQ(host.status, "Ambrel");
    // at least 801 polls of the ready wait, then one of the release wait
    EXPECT_GE(t->statusReads, 802u);
    EXPECT_EQ(host.repaints, 1);
    // no opcode went out: only the handshake writes
    EXPECT_TRUE(DecodeFrames(t->ops).empty() || DecodeFrames(t->ops)[0].sent.empty());
    EXPECT_EQ(t->ops.back().port, 890);
    EXPECT_EQ(t->ops.back().value, 0);

    // a clock that moves all the time still keeps the ready wait polling
    // until more than 800 polls have passed
    SteppingHost fast(2);
    link->SetHost(&fast);
    t->statusReads = 0;
    EXPECT_FALSE(link->GetPage(page));
    EXPECT_EQ(t->statusReads, 801u + 1u);
}

TEST(LinkProtocol, ReleaseWaitTimeOutShowsNoDevice) {
    SteppingHost host(0); // the clock never moves
    auto trace = std::make_unique<TraceBackend>();
    TraceBackend* t = trace.get();
    t->status = [](size_t) { return uint8_t(0x40); }; // stuck high
    auto link = FastLink(std::move(trace), &host);
    uint16_t page = 0;
    EXPECT_FALSE(link->GetPage(page));
    EXPECT_TRUE(link->LinkFailed);
    EXPECT_EQ(host.status, "       No Device");
    EXPECT_EQ(t->statusReads, 1u + 801u);

    // the line drops at the 801st poll: still a time-out
    host.status = "Ambrel";
    t->statusReads = 0;
    t->status = [](size_t n) { return uint8_t(n == 801 ? 0x00 : 0x40); };
    EXPECT_FALSE(link->GetPage(page));
    EXPECT_EQ(host.status, "       No Device");

    // ...but at the 800th it is in time
    host.status = "Ambrel";
    t->statusReads = 0;
    t->status = [](size_t n) { return uint8_t(n >= 800 ? 0x00 : 0x40); };
    link->GetPage(page);
    EXPECT_FALSE(link->LinkFailed);
    EXPECT_EQ(host.status, "Ambrel");
}

TEST(LinkProtocol, ReleaseWaitEndsWhenALongClockTextMoves) {
    // With a clock text of 11 characters or more the release wait also gives
    // up when characters 10..11 change.
    class LongClock : public LinkHost {
      public:
        std::string ClockText() override {
            char text[32];
            std::snprintf(text, sizeof text, "14:03:27.%02ld", (calls++ / 3) % 100);
            return text;
        }
        void RepaintMainWindow() override {}
        void SetStatusText(const std::string& text) override { status = text; }
        long calls = 0;
        std::string status;
    } host;
    auto trace = std::make_unique<TraceBackend>();
    TraceBackend* t = trace.get();
    t->status = [](size_t) { return uint8_t(0x40); };
    auto link = FastLink(std::move(trace), &host);
    uint16_t page = 0;
    EXPECT_FALSE(link->GetPage(page));
    EXPECT_EQ(host.status, "       No Device");
    EXPECT_LT(t->statusReads, 10u);
}

TEST(LinkProtocol, FailedSlotStatusLeavesBothOutputsFalse) {
    TempDir dir;
    WriteFileBytes(dir.Path() / "slot1.dcm", PatternCard(1));
    WriteFileBytes(dir.Path() / "slot2.dcm", PatternCard(2));
    TracedEmulator e(dir);
    bool card1 = true, card2 = true;
    e.box->Box().Faults().checksumXor = 0x02;
    EXPECT_FALSE(e.link->GetSlotStatus(card1, card2));
    EXPECT_FALSE(card1);
    EXPECT_FALSE(card2);
}
