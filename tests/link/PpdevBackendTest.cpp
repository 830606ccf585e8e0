// The ppdev backend on ports that misbehave: held by the printer driver,
// pulled out and plugged in again, numbered beyond parport7, or without a base
// address. The system calls are faked, with the emulated box behind them.
#include "link/PpdevBackend.h"
#include "link/support/LinkTestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <ctime>
#include <fstream>
#include <linux/ppdev.h>
#include <sys/ioctl.h>

using namespace linktest;

namespace {

// /dev/parport0 with the emulated two-slot unit on it.
class FakePorts : public PpdevSystem {
  public:
    explicit FakePorts(const std::string& dir) : device_(dir), box_(device_) {}

    int Open(const char* path) override {
        ++opens;
        if (!present || std::string(path) != "/dev/parport0") {
            errno = ENOENT;
            return -1;
        }
        return 7;
    }
    void Close(int) override { ++closes; }
    int Ioctl(int, unsigned long request, void* arg) override {
        if (!present) {
            errno = ENODEV;
            return -1;
        }
        auto* value = static_cast<unsigned char*>(arg);
        if (request == PPRSTATUS)
            *value = box_.ReadRegister(1);
        else if (request == PPRDATA)
            *value = box_.ReadRegister(0);
        else if (request == PPRCONTROL)
            *value = box_.ReadRegister(2);
        else if (request == PPWDATA)
            box_.WriteRegister(0, *value);
        else if (request == PPWCONTROL)
            box_.WriteRegister(2, *value);
        return 0;
    }
    int64_t NowMs() override { return realClock ? PpdevSystem::NowMs() : now; }

    bool present = true;
    bool held = false; // another driver holds the port: a claim waits
    bool realClock = false;
    int64_t now = 0;
    int opens = 0;
    int closes = 0;

  protected:
    int BlockingClaim(int) override {
        if (!held)
            return 0;
        // Waits as the kernel does, until a signal ends the wait.
        timespec longWait{30, 0};
        if (nanosleep(&longWait, nullptr) != 0)
            return -1; // errno EINTR
        return 0;
    }

  private:
    TwoSlotDevice device_;
    LinkBox box_;
};

struct Rig {
    Rig() {
        WriteFileBytes(dir.Path() / "slot1.dcm", PatternCard(1));
        ports = std::make_shared<FakePorts>(dir.Path().string());
        auto backend = std::make_unique<PpdevBackend>("/dev/parport0", ports, "/nonexistent");
        ppdev = backend.get();
        link = FastLink(std::move(backend), &host);
    }
    TempDir dir;
    std::shared_ptr<FakePorts> ports;
    PpdevBackend* ppdev;
    SteppingHost host{1};
    std::unique_ptr<LinkPort> link;
};

void WriteText(const std::filesystem::path& path, const std::string& text) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path) << text;
}

} // namespace

TEST(PpdevBackend, EveryPortTheKernelListsIsLookedAt) {
    TempDir dir;
    const auto proc = dir.Path();
    WriteText(proc / "parport0" / "base-addr", "956\t1980\n");
    WriteText(proc / "parport3" / "base-addr", "0\t0\n"); // a USB adapter
    WriteText(proc / "parport12" / "base-addr", "888\t1912\n");
    WriteText(proc / "parport9" / "base-addr", "888\t1912\n");
    WriteText(proc / "default" / "timeslice", "200\n");
    EXPECT_EQ(PpdevBackend::FindDeviceForBase(888, proc.string()), "/dev/parport9");
    EXPECT_EQ(PpdevBackend::FindDeviceForBase(956, proc.string()), "/dev/parport0");
    EXPECT_EQ(PpdevBackend::FindDeviceForBase(0, proc.string()), "");
    EXPECT_EQ(PpdevBackend::FindDeviceForBase(632, proc.string()), "");
    EXPECT_EQ(PpdevBackend::FindDeviceForBase(888, (proc / "none").string()), "");
}

TEST(PpdevBackend, AFixedDeviceServesWhateverBaseTheLinkUses) {
    Rig rig;
    ASSERT_TRUE(rig.link->Port().Opened());
    bool card1 = false, card2 = false;
    ASSERT_TRUE(rig.link->GetSlotStatus(card1, card2));
    EXPECT_TRUE(card1);
    EXPECT_FALSE(card2);
    // The adapter has no base address of its own: the registers go by their
    // offset from whatever base the settings hold.
    rig.link->BasePort = 632;
    ASSERT_TRUE(rig.link->GetSlotStatus(card1, card2));
    EXPECT_TRUE(card1);
}

TEST(PpdevBackend, APortHeldByAnotherDriverIsGivenUpInTime) {
    TempDir dir;
    auto ports = std::make_shared<FakePorts>(dir.Path().string());
    ports->held = true;
    ports->realClock = true;
    PpdevBackend backend("/dev/parport0", ports);
    backend.SetClaimTimeoutMs(100);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(backend.Open());
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(100));
    EXPECT_LT(waited, std::chrono::seconds(5));
    EXPECT_EQ(backend.LastError(), static_cast<uint32_t>(EBUSY));
    EXPECT_FALSE(backend.IsOpen());
    EXPECT_EQ(ports->closes, 1);

    // Busy is not missing: the port stays closed, nobody claims it again.
    ports->realClock = false;
    ports->now = 1'000'000;
    backend.SelectBase(888);
    EXPECT_EQ(ports->opens, 1);
    EXPECT_FALSE(backend.IsOpen());
}

TEST(PpdevBackend, AVanishedDeviceIsOpenedAgainWhenItComesBack) {
    Rig rig;
    bool card1 = false, card2 = false;
    ASSERT_TRUE(rig.link->GetSlotStatus(card1, card2));

    rig.ports->present = false; // pulled out
    EXPECT_FALSE(rig.link->GetSlotStatus(card1, card2));
    EXPECT_TRUE(rig.link->LinkFailed);
    EXPECT_FALSE(rig.link->Port().Opened());
    EXPECT_EQ(rig.ports->closes, 1);
    EXPECT_FALSE(rig.link->GetSlotStatus(card1, card2));
    EXPECT_EQ(rig.ports->opens, 1); // not looked for again within a second

    rig.ports->now += PpdevBackend::kRetryIntervalMs;
    EXPECT_FALSE(rig.link->GetSlotStatus(card1, card2)); // still out
    EXPECT_EQ(rig.ports->opens, 2);

    rig.ports->present = true; // plugged in again
    rig.ports->now += PpdevBackend::kRetryIntervalMs;
    ASSERT_TRUE(rig.link->GetSlotStatus(card1, card2));
    EXPECT_TRUE(card1);
    EXPECT_TRUE(rig.link->Port().Opened());
    EXPECT_EQ(rig.ports->opens, 3);
}
