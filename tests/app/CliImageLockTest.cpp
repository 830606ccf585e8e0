// One command at a time on a card image: a second writer waits, then is
// refused with the image left as it was; imports at once all land.
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
    WriteFileBytes(P("one.dci"), MakeDci("ONE", 2, false, 0, 1));
    WriteFileBytes(P("two.dci"), MakeDci("TWO", 3, false, 0, 2));

    // Another program holds the image for longer than a command waits.
    const int fd = open(P("a.dcm").c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(flock(fd, LOCK_EX), 0);
    const Bytes before = ReadFileBytes(P("a.dcm"));
    const Result refused = Cli("import a.dcm one.dci");
    EXPECT_NE(refused.code, 0);
    EXPECT_NE(refused.err.find("a.dcm is in use by another program"), std::string::npos)
        << refused.err;
    EXPECT_EQ(ReadFileBytes(P("a.dcm")), before);
    close(fd);

    // Imports started together: each waits for the one before it.
    const std::string cli = "'" PORVANE_BIN_DIR "/porvane-cli' import b.dcm one.dci --append & ";
    for (int round = 0; round < 4; ++round) {
        fs::remove(P("b.dcm"));
        NewCard("b.dcm");
        const std::string four =
            "cd '" + dir_.string() + "' && (" + cli + cli + cli + cli + "wait) >/dev/null 2>&1";
        ASSERT_EQ(std::system(four.c_str()), 0);
        const Result list = Cli("list b.dcm");
        size_t found = 0;
        for (size_t at = list.out.find("ONE"); at != std::string::npos;
             at = list.out.find("ONE", at + 1))
            ++found;
        EXPECT_EQ(found, 4u) << "round " << round << "\n" << list.out;
    }
}

} // namespace
