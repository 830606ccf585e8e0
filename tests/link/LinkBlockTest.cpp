// Device detection and whole-block transfers over the emulated box, in process
// and through porvane-linkbox on a socket.
#include "link/SocketBackend.h"
#include "link/support/LinkTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace linktest;

namespace {

constexpr size_t kCard = 131072;

struct TwoSlot {
    TwoSlot() {
        WriteFileBytes(dir.Path() / "slot1.dcm", PatternCard(11));
        WriteFileBytes(dir.Path() / "slot2.dcm", PatternCard(22));
        auto backend =
            std::make_unique<EmulatorBackend>(std::make_unique<TwoSlotDevice>(dir.Path().string()));
        emu = backend.get();
        link = FastLink(std::move(backend));
    }
    LinkBox& Box() { return emu->Box(); }
    TempDir dir;
    EmulatorBackend* emu;
    std::unique_ptr<LinkPort> link;
};

struct Paged {
    explicit Paged(int pages = 8, std::unique_ptr<BoxDevice> device = nullptr) {
        file = dir.Path() / "paged.bin";
        WriteFileBytes(file, PatternCard(33, kCard * pages));
        if (!device)
            device = std::make_unique<PagedDevice>(file.string());
        auto backend = std::make_unique<EmulatorBackend>(std::move(device));
        emu = backend.get();
        link = FastLink(std::move(backend));
    }
    TempDir dir;
    std::filesystem::path file;
    EmulatorBackend* emu;
    std::unique_ptr<LinkPort> link;
};

// A paged card that reads back page 7 whatever was selected.
class OddPageDevice : public PagedDevice {
  public:
    using PagedDevice::PagedDevice;
    bool GetPage(uint16_t& page) override {
        page = 7;
        return true;
    }
};

void ReadWholeCard(LinkPort& link, uint8_t slot, std::vector<uint8_t>& out) {
    out.assign(kCard, 0);
    for (int b = 0; b < 256; ++b)
        ASSERT_TRUE(link.ReadBlock(slot, static_cast<uint8_t>(b), out.data() + b * 512)) << b;
}

void WriteWholeCard(LinkPort& link, uint8_t slot, const std::vector<uint8_t>& data) {
    for (int b = 0; b < 256; ++b)
        ASSERT_TRUE(link.WriteBlock(slot, static_cast<uint8_t>(b), data.data() + b * 512)) << b;
}

} // namespace

TEST(LinkBlocks, DetectDeviceTellsTheTwoKindsApart) {
    TwoSlot unit;
    unit.link->DirectMode = true;
    EXPECT_TRUE(unit.link->DetectDevice());
    EXPECT_FALSE(unit.link->DirectMode);
    // GetPage, SetPage(0), GetPage: no page is put back on the unit
    EXPECT_EQ(unit.Box().CommandsSeen(), 3u);
    // A detection that ends on the cards it began on keeps a command's
    // blocks good: the unit's slots do not page.
    const uint32_t selection = unit.link->Selection();
    EXPECT_TRUE(unit.link->DetectDevice());
    EXPECT_EQ(unit.link->Selection(), selection);

    Paged card;
    auto& device = static_cast<PagedDevice&>(card.emu->Device());
    ASSERT_TRUE(card.link->SetPage(5));
    EXPECT_TRUE(card.link->DetectDevice());
    EXPECT_TRUE(card.link->DirectMode);
    EXPECT_EQ(device.CurrentPage(), 5);
    EXPECT_EQ(card.emu->Box().OpcodeOf(4), 0x406A); // SetPage(5) back at the end
    // Found paged, as before, with its page put back: still the same card.
    const uint32_t onPage5 = card.link->Selection();
    EXPECT_TRUE(card.link->DetectDevice());
    EXPECT_EQ(card.link->Selection(), onPage5);
    // the highest page, as the refresh learns it
    ASSERT_TRUE(card.link->SetPage(255));
    uint16_t highest = 0;
    ASSERT_TRUE(card.link->GetPage(highest));
    EXPECT_EQ(highest, 7);

    Paged odd(8, nullptr);
    auto oddDevice = std::make_unique<OddPageDevice>(odd.file.string());
    auto backend = std::make_unique<EmulatorBackend>(std::move(oddDevice));
    auto link = FastLink(std::move(backend));
    link->DirectMode = true;
    EXPECT_FALSE(link->DetectDevice());
    EXPECT_FALSE(link->DirectMode);
}

TEST(LinkBlocks, ChunkedReadFailingAtQuarterTwo) {
    TwoSlot unit;
    ASSERT_TRUE(unit.link->DetectDevice());
    const auto card = ReadFileBytes(unit.dir.Path() / "slot2.dcm");
    uint8_t block[512];
    std::memset(block, 0xEE, sizeof block);
    unit.Box().Faults().failCommand = 6; // begin, fetch/read q0, fetch/read q1, fetch q2
    EXPECT_FALSE(unit.link->ReadBlock(1, 9, block));
    EXPECT_TRUE(unit.link->LinkFailed);
    EXPECT_EQ(std::memcmp(block, card.data() + 9 * 512, 256), 0);
    for (int i = 256; i < 512; ++i)
        ASSERT_EQ(block[i], 0xEE) << i;
    EXPECT_EQ(unit.Box().OpcodeOf(unit.Box().CommandsSeen() - 1), 0x4031); // end access sent

    // and a good read of the same block
    unit.Box().Faults().failCommand = 0;
    EXPECT_TRUE(unit.link->ReadBlock(1, 9, block));
    EXPECT_FALSE(unit.link->LinkFailed);
    EXPECT_EQ(std::memcmp(block, card.data() + 9 * 512, 512), 0);
}

TEST(LinkBlocks, ChunkedWriteFailingAtFirstWriteChunk) {
    TwoSlot unit;
    ASSERT_TRUE(unit.link->DetectDevice());
    const auto before = ReadFileBytes(unit.dir.Path() / "slot1.dcm");
    const uint32_t start = unit.Box().CommandsSeen();
    std::vector<uint8_t> data(512, 0x5A);
    unit.Box().Faults().failCommand = 2; // begin access, then the first write chunk
    EXPECT_FALSE(unit.link->WriteBlock(0, 100, data.data()));
    EXPECT_TRUE(unit.link->LinkFailed);
    ASSERT_EQ(unit.Box().CommandsSeen() - start, 4u);
    EXPECT_EQ(unit.Box().OpcodeOf(start + 0), 0x4025);
    EXPECT_EQ(unit.Box().OpcodeOf(start + 1), 0x121A);
    EXPECT_EQ(unit.Box().OpcodeOf(start + 2), 0x5466); // commit, no store chunk
    EXPECT_EQ(unit.Box().OpcodeOf(start + 3), 0x4031);
    EXPECT_EQ(ReadFileBytes(unit.dir.Path() / "slot1.dcm"), before);
}

TEST(LinkBlocks, DirectWriteFailingAtSecondWriteMemory) {
    Paged card;
    ASSERT_TRUE(card.link->SetPage(2));
    ASSERT_TRUE(card.link->DetectDevice());
    const auto before = ReadFileBytes(card.file);
    std::vector<uint8_t> data(512, 0xC3);
    const uint32_t start = card.emu->Box().CommandsSeen();
    card.emu->Box().Faults().failCommand = 2;
    EXPECT_FALSE(card.link->WriteBlock(1, 10, data.data()));
    EXPECT_TRUE(card.link->LinkFailed);
    EXPECT_EQ(card.emu->Box().CommandsSeen() - start, 2u);
    const auto after = ReadFileBytes(card.file);
    const size_t at = 2 * kCard + 10 * 512; // the slot number plays no part
    for (size_t i = 0; i < after.size(); ++i) {
        const bool written = i >= at && i < at + 128;
        ASSERT_EQ(after[i], written ? 0xC3 : before[i]) << i;
    }
}

TEST(LinkBlocks, WholeCardBothModesInProcess) {
    TwoSlot unit;
    ASSERT_TRUE(unit.link->DetectDevice());
    std::vector<uint8_t> got;
    ReadWholeCard(*unit.link, 1, got);
    EXPECT_EQ(got, ReadFileBytes(unit.dir.Path() / "slot2.dcm"));
    const auto fresh = PatternCard(99);
    WriteWholeCard(*unit.link, 0, fresh);
    EXPECT_EQ(ReadFileBytes(unit.dir.Path() / "slot1.dcm"), fresh);
    EXPECT_EQ(ReadFileBytes(unit.dir.Path() / "slot2.dcm"), got); // the other slot untouched

    Paged card(3);
    ASSERT_TRUE(card.link->SetPage(1));
    ASSERT_TRUE(card.link->DetectDevice());
    ASSERT_TRUE(card.link->DirectMode);
    ReadWholeCard(*card.link, 0, got);
    const auto all = ReadFileBytes(card.file);
    EXPECT_TRUE(std::equal(got.begin(), got.end(), all.begin() + kCard));
    WriteWholeCard(*card.link, 0, fresh);
    const auto after = ReadFileBytes(card.file);
    EXPECT_TRUE(std::equal(fresh.begin(), fresh.end(), after.begin() + kCard));
    EXPECT_TRUE(std::equal(all.begin(), all.begin() + kCard, after.begin()));
}

TEST(LinkBlocks, EmptySlotAndPulledCardFailTheBlock) {
    TwoSlot unit;
    ASSERT_TRUE(unit.link->DetectDevice());
    static_cast<TwoSlotDevice&>(unit.emu->Device()).SetCardPresent(0, false);
    uint8_t block[512];
    EXPECT_FALSE(unit.link->ReadBlock(0, 0, block));
    EXPECT_TRUE(unit.link->LinkFailed);
    EXPECT_TRUE(unit.link->ReadBlock(1, 0, block));
    static_cast<TwoSlotDevice&>(unit.emu->Device()).SetCardPresent(0, true);
    EXPECT_TRUE(unit.link->ReadBlock(0, 0, block));
}

TEST(LinkBlocks, WholeCardOverSocketFromLinkbox) {
    TempDir dir;
    WriteFileBytes(dir.Path() / "slot1.dcm", PatternCard(5));
    const std::string socketPath = (dir.Path() / "box.sock").string();
    SameCpu pin;
    LinkboxProcess server("emulator:" + dir.Path().string(), socketPath);
    ASSERT_TRUE(server.Started());
    {
        auto link = FastLink(std::make_unique<SocketBackend>(socketPath));
        ASSERT_TRUE(link->Port().Opened());
        ASSERT_TRUE(link->DetectDevice());
        EXPECT_FALSE(link->DirectMode);
        std::vector<uint8_t> got;
        ReadWholeCard(*link, 0, got);
        EXPECT_EQ(got, ReadFileBytes(dir.Path() / "slot1.dcm"));
        std::vector<uint8_t> block(512, 0x42);
        ASSERT_TRUE(link->WriteBlock(0, 17, block.data()));
    }
    EXPECT_EQ(server.Stop(), 0);
    const auto after = ReadFileBytes(dir.Path() / "slot1.dcm");
    for (int i = 0; i < 512; ++i)
        ASSERT_EQ(after[17 * 512 + i], 0x42);

    // Nobody on the socket now: the port reads 0 and commands fail.
    SteppingHost host(1);
    auto dead = FastLink(std::make_unique<SocketBackend>(socketPath), &host);
    EXPECT_FALSE(dead->Port().Opened());
    uint16_t page = 0;
    EXPECT_FALSE(dead->GetPage(page));
    EXPECT_TRUE(dead->LinkFailed);

    // A server that takes no more connections refuses at once rather than
    // holding the caller (the window opens the port again after a failure).
    const std::string fullPath = (dir.Path() / "full.sock").string();
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, fullPath.c_str(), fullPath.size() + 1);
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(::listen(listener, 0), 0);
    std::vector<int> queued;
    for (int i = 0; i < 4; ++i) {
        queued.push_back(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0));
        ::connect(queued.back(), reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    }
    SocketBackend full(fullPath);
    EXPECT_FALSE(full.Open());
    for (int fd : queued)
        ::close(fd);
    ::close(listener);
}

TEST(LinkBlocks, EmulatorFaultSwitches) {
    TwoSlot unit;
    SteppingHost host(50);
    unit.link->SetHost(&host);
    ASSERT_TRUE(unit.link->DetectDevice());
    uint8_t block[512];
    LinkBox& box = unit.Box();

    box.Faults().noBox = true; // ready wait gives up, label untouched
    EXPECT_FALSE(unit.link->ReadBlock(0, 1, block));
    EXPECT_TRUE(unit.link->LinkFailed);
    EXPECT_EQ(host.status, "Ambrel");
    box.Faults().noBox = false;

    box.Faults().bit6StuckHigh = true; // release wait gives up
    EXPECT_FALSE(unit.link->ReadBlock(0, 1, block));
    EXPECT_EQ(host.status, "       No Device");
    box.Faults().bit6StuckHigh = false;

    box.Faults().wrongChecksum = true;
    EXPECT_FALSE(unit.link->ReadBlock(0, 1, block));
    EXPECT_TRUE(unit.link->LinkFailed);
    box.Faults().wrongChecksum = false;

    // A noisy line: some blocks fail, none hangs and the line is always left
    // idle. (What a flip in bit 0 does is beyond the checksum, which ignores
    // that bit; the block store's retries see only the failures.)
    box.Faults().bitFlipRate = 0.0002;
    box.Faults().seed = 7;
    int failed = 0;
    std::vector<uint8_t> data(512, 0x3C);
    for (int b = 0; b < 40; ++b) {
        if (!unit.link->WriteBlock(1, static_cast<uint8_t>(b), data.data()))
            ++failed;
        ASSERT_EQ(box.ReadRegister(2) & 1, 0);
    }
    EXPECT_GT(failed, 0);
    EXPECT_LT(failed, 40);
    box.Faults().bitFlipRate = 0;
    EXPECT_TRUE(unit.link->ReadBlock(1, 0, block));
}

TEST(LinkBlocks, PagedCardOverSocketFromLinkbox) {
    TempDir dir;
    const auto pages = PatternCard(8, 2 * kCard);
    WriteFileBytes(dir.Path() / "paged.bin", pages);
    const std::string socketPath = (dir.Path() / "box.sock").string();
    SameCpu pin;
    LinkboxProcess server("emulator-paged:" + (dir.Path() / "paged.bin").string(), socketPath);
    ASSERT_TRUE(server.Started());
    const auto fresh = PatternCard(77);
    {
        auto link = FastLink(std::make_unique<SocketBackend>(socketPath));
        ASSERT_TRUE(link->SetPage(1));
        ASSERT_TRUE(link->DetectDevice());
        ASSERT_TRUE(link->DirectMode);
        std::vector<uint8_t> got;
        ReadWholeCard(*link, 0, got);
        EXPECT_TRUE(std::equal(got.begin(), got.end(), pages.begin() + kCard));
        WriteWholeCard(*link, 0, fresh);
    }
    EXPECT_EQ(server.Stop(), 0);
    const auto after = ReadFileBytes(dir.Path() / "paged.bin");
    EXPECT_TRUE(std::equal(after.begin(), after.begin() + kCard, pages.begin()));
    EXPECT_TRUE(std::equal(fresh.begin(), fresh.end(), after.begin() + kCard));
}

TEST(LinkBlocks, ClosingCommandTimeOutFailsTheLinkButNotTheBlock) {
    TwoSlot unit;
    SteppingHost host(0);
    unit.link->SetHost(&host);
    ASSERT_TRUE(unit.link->DetectDevice());
    const auto card = ReadFileBytes(unit.dir.Path() / "slot1.dcm");
    uint8_t block[512];
    // Read: begin, 4 x (fetch, read), end = command 10.
    unit.Box().Faults().stallCommand = unit.Box().CommandsSeen() + 10;
    EXPECT_TRUE(unit.link->ReadBlock(0, 4, block));
    EXPECT_TRUE(unit.link->LinkFailed);
    EXPECT_EQ(std::memcmp(block, card.data() + 4 * 512, 512), 0);
    // Write: begin, 4 x (write, store), commit = command 10, end = 11. The
    // block is written only if the commit went through.
    std::vector<uint8_t> data(512, 0x11);
    unit.Box().Faults().stallCommand = unit.Box().CommandsSeen() + 11;
    EXPECT_TRUE(unit.link->WriteBlock(0, 4, data.data()));
    EXPECT_TRUE(unit.link->LinkFailed);
    EXPECT_EQ(ReadFileBytes(unit.dir.Path() / "slot1.dcm")[4 * 512], 0x11);
    data.assign(512, 0x22);
    unit.Box().Faults().stallCommand = unit.Box().CommandsSeen() + 10;
    EXPECT_FALSE(unit.link->WriteBlock(0, 4, data.data()));
    EXPECT_TRUE(unit.link->LinkFailed);
    EXPECT_EQ(ReadFileBytes(unit.dir.Path() / "slot1.dcm")[4 * 512], 0x11);
}

TEST(LinkBlocks, DetectionWithoutAPageReadingLeavesThePageAlone) {
    Paged card;
    auto& device = static_cast<PagedDevice&>(card.emu->Device());
    ASSERT_TRUE(card.link->SetPage(5));
    const uint32_t start = card.emu->Box().CommandsSeen();
    card.emu->Box().Faults().failCommand = 1; // the first GetPage
    card.link->DirectMode = true;
    EXPECT_FALSE(card.link->DetectDevice());
    EXPECT_FALSE(card.link->DirectMode);
    EXPECT_EQ(card.emu->Box().CommandsSeen() - start, 1u);
    EXPECT_EQ(device.CurrentPage(), 5);
}

TEST(LinkBlocks, DirectReadSendsTheBlockAddressLowestFirst) {
    TempDir dir;
    WriteFileBytes(dir.Path() / "paged.bin", PatternCard(4, kCard));
    auto traced = std::make_unique<TraceBackend>(std::make_unique<EmulatorBackend>(
        std::make_unique<PagedDevice>((dir.Path() / "paged.bin").string())));
    TraceBackend* t = traced.get();
    auto link = FastLink(std::move(traced));
    ASSERT_TRUE(link->DetectDevice());
    t->ops.clear();
    uint8_t block[512];
    ASSERT_TRUE(link->ReadBlock(1, 10, block));
    const auto frames = DecodeFrames(t->ops);
    ASSERT_EQ(frames.size(), 1u);
    ASSERT_EQ(frames[0].sent.size(), 2u + 4 + 2 + 512 + 1);
    EXPECT_EQ(std::vector<uint8_t>(frames[0].sent.begin(), frames[0].sent.begin() + 8),
              (std::vector<uint8_t>{0x02, 0xA9, 0x00, 0x14, 0x00, 0x00, 0x00, 0x02}));
    // each data byte sent echoes the one received before it
    for (size_t i = 9; i < 8 + 512; ++i)
        ASSERT_EQ(frames[0].sent[i], frames[0].received[i - 1]) << i;
    EXPECT_EQ(std::memcmp(block, ReadFileBytes(dir.Path() / "paged.bin").data() + 5120, 512), 0);
}
