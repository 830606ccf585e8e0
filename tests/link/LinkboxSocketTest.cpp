// porvane-linkbox's socket: never put in the place of a file, this user's
// only, and not held by a client that says nothing; the program's own
// connection comes back after the box closed it for its silence.
#include "link/LinkPort.h"
#include "link/SocketBackend.h"
#include "link/support/LinkTestSupport.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

using linktest::FastLink;
using linktest::LinkboxProcess;
using porvane_test::ReadFileText;
using porvane_test::TempDir;

namespace {

int Connect(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0)
        return fd;
    ::close(fd);
    return -1;
}

int RunLinkbox(const TempDir& dir, const std::string& socket) {
    // A box that did take the path would wait for a client: cut short.
    const std::string cmd = "cd '" + dir.Path().string() +
                            "' && timeout 10 '" PORVANE_BIN_DIR
                            "/porvane-linkbox' --link emulator:. --socket '" +
                            socket + "' --once 2>err.txt";
    const int status = std::system(cmd.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

TEST(LinkboxSocket, NeverReplacesAFileAndIsThisUsersOnly) {
    TempDir dir;
    porvane_test::WriteFileBytes(dir.File("notes.txt"), {'k', 'e', 'e', 'p'});
    EXPECT_EQ(RunLinkbox(dir, "notes.txt"), 1);
    EXPECT_EQ(ReadFileText(dir.File("notes.txt")), "keep");
    EXPECT_NE(ReadFileText(dir.File("err.txt")).find("notes.txt exists and is not a socket"),
              std::string::npos);

    // Made under umask 000, the socket is still 0600. (scripts/check-two-users.sh
    // has another user try it.)
    const std::string socket = dir.File("box.sock");
    const mode_t mask = ::umask(0);
    LinkboxProcess server("emulator:" + dir.Path().string(), socket);
    ::umask(mask);
    ASSERT_TRUE(server.Started());
    struct stat info {};
    ASSERT_EQ(::lstat(socket.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST(LinkboxSocket, ASilentClientIsCutOffAndTheProgramComesBack) {
    TempDir dir;
    porvane_test::WriteFileBytes(dir.Path() / "slot1.dcm", linktest::PatternCard(3));
    const std::string socket = dir.File("box.sock");
    LinkboxProcess server("emulator:" + dir.Path().string(), socket, {"--client-timeout", "300"},
                          dir.File("err.txt"));
    ASSERT_TRUE(server.Started());
    const int silent = Connect(socket);
    ASSERT_GE(silent, 0);
    auto link = FastLink(std::make_unique<SocketBackend>(socket));
    ASSERT_TRUE(link->Port().Opened());
    EXPECT_TRUE(link->DetectDevice()); // once the silent one is cut off
    ::close(silent);
    EXPECT_NE(ReadFileText(dir.File("err.txt")).find("silent for 300 ms"), std::string::npos);

    // Left idle past the time-out, the program's own connection is closed
    // too; its next command connects again and reads the card.
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    uint8_t block[512];
    EXPECT_TRUE(link->ReadBlock(0, 0, block));
    EXPECT_FALSE(link->LinkFailed);
    EXPECT_EQ(0, std::memcmp(block, linktest::PatternCard(3).data(), 512));
}
