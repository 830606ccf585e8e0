// What every way of reaching the box must do the same, whatever carries the
// register accesses: the in-process emulator and a box served by
// porvane-linkbox on a socket run the same cases. Slot 1 holds a card, slot 2
// is empty.
#include "link/SocketBackend.h"
#include "link/support/LinkTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

using namespace linktest;

namespace {

class EmulatorRig {
  public:
    EmulatorRig() { WriteFileBytes(dir_.Path() / "slot1.dcm", PatternCard(41)); }
    std::unique_ptr<PortBackend> Make() {
        auto backend = std::make_unique<EmulatorBackend>(
            std::make_unique<TwoSlotDevice>(dir_.Path().string()));
        emu_ = backend.get();
        return backend;
    }
    // The box stops answering: its ready line never comes.
    void DropBox() { emu_->Box().Faults().noBox = true; }

  private:
    TempDir dir_;
    EmulatorBackend* emu_ = nullptr;
};

class SocketRig {
  public:
    SocketRig() { WriteFileBytes(dir_.Path() / "slot1.dcm", PatternCard(41)); }
    std::unique_ptr<PortBackend> Make() {
        if (!server_)
            server_ =
                std::make_unique<LinkboxProcess>("emulator:" + dir_.Path().string(), Socket());
        return std::make_unique<SocketBackend>(Socket());
    }
    // The serving process ends with the connection open.
    void DropBox() { server_->Stop(); }

  private:
    std::string Socket() const { return (dir_.Path() / "box.sock").string(); }
    TempDir dir_;
    SameCpu pin_;
    std::unique_ptr<LinkboxProcess> server_;
};

template <class Rig> class PortBackendContract : public testing::Test {
  protected:
    Rig rig;
};

using Backends = testing::Types<EmulatorRig, SocketRig>;
TYPED_TEST_SUITE(PortBackendContract, Backends);

} // namespace

TYPED_TEST(PortBackendContract, OpensClosesAndOpensAgain) {
    std::unique_ptr<PortBackend> backend = this->rig.Make();
    ASSERT_TRUE(backend->Open()) << backend->LastError();
    EXPECT_TRUE(backend->IsOpen());
    EXPECT_FALSE(backend->NeedsLineTiming());
    uint8_t status = 0;
    EXPECT_TRUE(backend->Read(889, status));
    backend->Close();
    EXPECT_FALSE(backend->IsOpen());
    ASSERT_TRUE(backend->Open());
    // A link on the reopened backend finds the box as before.
    auto link = FastLink(std::move(backend));
    EXPECT_TRUE(link->DetectDevice());
    EXPECT_FALSE(link->DirectMode);
}

TYPED_TEST(PortBackendContract, BlocksMakeTheRoundTripAndAnEmptySlotIsRefused) {
    auto link = FastLink(this->rig.Make());
    ASSERT_TRUE(link->Port().Opened());
    ASSERT_TRUE(link->DetectDevice());
    const std::vector<uint8_t> card = PatternCard(41);
    uint8_t block[512];
    ASSERT_TRUE(link->ReadBlock(0, 3, block));
    EXPECT_TRUE(std::equal(block, block + 512, card.begin() + 3 * 512));

    std::vector<uint8_t> written(512);
    for (size_t i = 0; i < written.size(); ++i)
        written[i] = static_cast<uint8_t>(i * 7 + 1);
    ASSERT_TRUE(link->WriteBlock(0, 200, written.data()));
    ASSERT_TRUE(link->ReadBlock(0, 200, block));
    EXPECT_TRUE(std::equal(block, block + 512, written.begin()));

    EXPECT_FALSE(link->ReadBlock(1, 3, block));
    EXPECT_TRUE(link->LinkFailed);
    EXPECT_FALSE(link->WriteBlock(1, 3, written.data()));
    // The refusal left the link usable.
    link->LinkFailed = false;
    EXPECT_TRUE(link->ReadBlock(0, 200, block));
    EXPECT_FALSE(link->LinkFailed);
}

TYPED_TEST(PortBackendContract, ABoxThatDropsOutFailsTheBlockWithoutHanging) {
    auto link = FastLink(this->rig.Make());
    ASSERT_TRUE(link->DetectDevice());
    this->rig.DropBox();
    const auto start = std::chrono::steady_clock::now();
    uint8_t block[512];
    EXPECT_FALSE(link->ReadBlock(0, 3, block));
    EXPECT_TRUE(link->LinkFailed);
    EXPECT_FALSE(link->DetectDevice());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
}
