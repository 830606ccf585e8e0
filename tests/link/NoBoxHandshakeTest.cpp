// What looking for a box that is not there costs, and which ports spend the
// line's spin delays.
#include "link/LinkOption.h"
#include "link/SocketBackend.h"
#include "link/support/LinkTestSupport.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace linktest;

namespace {

// A clock whose second never moves and whose milliseconds advance by one at
// every look, so that only the handshake's time budget can end a wait.
class FrozenSecondHost : public SteppingHost {
  public:
    FrozenSecondHost() : SteppingHost(0) {}
    int64_t MonotonicMs() override { return ms++; }
    int64_t ms = 0;
};

} // namespace

TEST(NoBoxHandshake, WaitsEndOnTheBudgetWhenTheClockSecondStands) {
    // Line reads 0: the ready wait still makes its 801 polls, then gives up on
    // the budget (no "No Device" from the ready wait).
    FrozenSecondHost host;
    auto trace = std::make_unique<TraceBackend>();
    TraceBackend* t = trace.get();
    auto link = FastLink(std::move(trace), &host);
    uint16_t page = 0;
    EXPECT_FALSE(link->GetPage(page));
    EXPECT_TRUE(link->LinkFailed);
    EXPECT_EQ(host.status, "Ambrel");
    EXPECT_EQ(t->statusReads, 800u + LinkPort::kHandshakeBudgetMs + 1u);

    // Line stuck high: the release wait gives up on the budget well before
    // 801 polls, and says so on the status line.
    t->status = [](size_t) { return uint8_t(0x40); };
    t->statusReads = 0;
    EXPECT_FALSE(link->GetPage(page));
    EXPECT_EQ(host.status, "       No Device");
    EXPECT_EQ(t->statusReads, 1u + LinkPort::kReleaseBudgetPolls + LinkPort::kHandshakeBudgetMs);
}

TEST(NoBoxHandshake, PortThatIsNotOpenFailsWithoutPolling) {
    SteppingHost host(0); // a clock that never moves would otherwise wait forever
    auto trace = std::make_unique<TraceBackend>();
    TraceBackend* t = trace.get();
    auto link = FastLink(std::move(trace), &host);
    link->Port().SetOpened(false);
    uint16_t page = 0;
    EXPECT_FALSE(link->GetPage(page));
    EXPECT_TRUE(link->LinkFailed);
    EXPECT_EQ(t->statusReads, 0u);
    EXPECT_EQ(host.repaints, 0);
}

TEST(NoBoxHandshake, EmulatorAndSocketSkipTheSpinDelaysARealPortKeepsThem) {
    TempDir dir;
    std::string error;
    EXPECT_FALSE(MakePortBackend("emulator:" + dir.Path().string(), error)->NeedsLineTiming());
    EXPECT_FALSE(MakePortBackend("socket:/nonexistent", error)->NeedsLineTiming());
    EXPECT_TRUE(MakePortBackend("auto", error)->NeedsLineTiming());
    EXPECT_TRUE(MakePortBackend("ppdev:/dev/parport0", error)->NeedsLineTiming());
    LinkPort link(MakePortBackend("emulator:" + dir.Path().string(), error), nullptr);
    EXPECT_FALSE(link.SpinsDelays());
}

TEST(NoBoxHandshake, SocketServerThatNeverAnswersCountsAsClosed) {
    TempDir dir;
    const std::string path = (dir.Path() / "mute.sock").string();
    const int server = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
    ASSERT_EQ(::bind(server, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(::listen(server, 1), 0);

    SocketBackend socket(path);
    ASSERT_TRUE(socket.Open());
    uint8_t value = 7;
    EXPECT_FALSE(socket.Read(889, value)); // after the reply time-out
    EXPECT_EQ(socket.LastError(), static_cast<uint32_t>(ETIMEDOUT));
    EXPECT_FALSE(socket.Read(889, value)); // at once from now on
    EXPECT_EQ(value, 7);
    ::close(server);
}
