// The --link option and the port wrapper's behaviour when nothing is there.
#include "link/LinkOption.h"
#include "link/SmallPort.h"
#include "link/SocketBackend.h"
#include "link/support/LinkTestSupport.h"

#include <gtest/gtest.h>

using namespace linktest;

TEST(LinkOption, ParsesSpecsBeforeTheFirstPlainArgument) {
    std::string spec = "auto", error;
    std::vector<std::string> args = {"--link", "io", "list", "--link", "x"};
    ASSERT_TRUE(TakeLinkOption(args, spec, error));
    EXPECT_EQ(spec, "io");
    EXPECT_EQ(args, (std::vector<std::string>{"list", "--link", "x"}));

    args = {"--link=socket:/tmp/s", "file.bin"};
    ASSERT_TRUE(TakeLinkOption(args, spec, error));
    EXPECT_EQ(spec, "socket:/tmp/s");
    EXPECT_EQ(args, (std::vector<std::string>{"file.bin"}));

    args = {"--link"};
    EXPECT_FALSE(TakeLinkOption(args, spec, error));
    args = {"--link", "bogus"};
    EXPECT_FALSE(TakeLinkOption(args, spec, error));

    TempDir dir;
    EXPECT_NE(MakePortBackend("emulator:" + dir.Path().string(), error), nullptr);
    EXPECT_EQ(MakePortBackend("emulator:" + (dir.Path() / "none").string(), error), nullptr);
    EXPECT_EQ(MakePortBackend("emulator-paged:" + (dir.Path() / "none").string(), error), nullptr);
    WriteFileBytes(dir.Path() / "short.bin", std::vector<uint8_t>(1000));
    EXPECT_EQ(MakePortBackend("emulator-paged:" + (dir.Path() / "short.bin").string(), error),
              nullptr);
    EXPECT_NE(error.find("131072"), std::string::npos);
    EXPECT_NE(MakePortBackend("ppdev:/dev/parport9", error), nullptr);
    EXPECT_EQ(MakePortBackend("ppdev:", error), nullptr);
}

TEST(LinkOption, PortThatCannotOpenReadsZeroAndRecordsTheError) {
    SmallPort port(std::make_unique<SocketBackend>("/nonexistent/porvane.sock"));
    port.SetOpened(true);
    EXPECT_FALSE(port.Opened());
    EXPECT_FALSE(port.LastOk());
    EXPECT_EQ(port.ReadPortByte(889), 0);
    EXPECT_FALSE(port.LastOk());
    EXPECT_EQ(port.LastError(), SmallPort::kNotOpenError);
    port.WritePortByte(888, 1);
    EXPECT_FALSE(port.LastOk());
}

TEST(LinkOption, LinkFollowsAChangedBasePort) {
    TempDir dir;
    WriteFileBytes(dir.Path() / "slot1.dcm", PatternCard(3));
    // A box wired to the port at 0x378 only, like the socket server.
    class FixedBase : public EmulatorBackend {
      public:
        using EmulatorBackend::EmulatorBackend;
        void SelectBase(uint16_t) override {}
    };
    SteppingHost host(100);
    auto link = FastLink(
        std::make_unique<FixedBase>(std::make_unique<TwoSlotDevice>(dir.Path().string())), &host);
    uint16_t page = 0;
    EXPECT_TRUE(link->GetPage(page));
    link->BasePort = 632;
    EXPECT_FALSE(link->GetPage(page));
    EXPECT_TRUE(link->LinkFailed);
    link->BasePort = 888;
    EXPECT_TRUE(link->GetPage(page));
    EXPECT_EQ(page, 255);
}
