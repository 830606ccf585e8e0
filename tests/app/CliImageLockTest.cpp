// One command at a time on a card image: a second writer waits, then is
// refused with the image left as it was; two imports at once both land.
#include "app/CliFixture.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

using namespace clitest;

class CliImageLockTest : public CliFixture {};

TEST_F(CliImageLockTest, OneWriterPerImage) {
    NewCard("a.dcm");
    WriteAll(P("one.dci"), MakeDci("ONE", 2, false, 0, 1));
    WriteAll(P("two.dci"), MakeDci("TWO", 3, false, 0, 2));

    // Another program holds the image for longer than a command waits.
    const int fd = open(P("a.dcm").c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(flock(fd, LOCK_EX), 0);
    const Bytes before = ReadAll(P("a.dcm"));
    const Result refused = Cli("import a.dcm one.dci");
    EXPECT_NE(refused.code, 0);
    EXPECT_NE(refused.err.find("a.dcm is in use by another program"), std::string::npos)
        << refused.err;
    EXPECT_EQ(ReadAll(P("a.dcm")), before);
    close(fd);

    // Two imports started together: the second waits for the first.
    const std::string cli = "'" PORVANE_BIN_DIR "/porvane-cli'";
    for (int round = 0; round < 6; ++round) {
        NewCard("b.dcm");
        const std::string both = "cd '" + dir_.string() + "' && (" + cli +
                                 " import b.dcm one.dci & " + cli +
                                 " import b.dcm two.dci; wait) >/dev/null 2>&1";
        ASSERT_EQ(std::system(both.c_str()), 0);
        const Result list = Cli("list b.dcm");
        EXPECT_NE(list.out.find("ONE"), std::string::npos) << "round " << round;
        EXPECT_NE(list.out.find("TWO"), std::string::npos) << "round " << round;
    }
}

} // namespace
