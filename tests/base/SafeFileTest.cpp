// Files written by name in a folder another user shares: no write follows a
// link or lands in a file of that user's, and the victim's file stays as it
// was; reads follow only the user's own links.
#include "base/SafeFile.h"
#include "base/AtomicFile.h"

#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using porvane_test::ReadFileText;
using porvane_test::TempDir;

namespace {

int Write(const std::string& path) {
    errno = 0;
    return WriteWholeFile(path, "scratch", 7) ? 0 : errno;
}

} // namespace

TEST(SafeFile, NoWriteFollowsALinkOrLandsInAFileNotTheUsers) {
    TempDir home;
    TempDir shared;
    porvane_test::ShareFolder(shared.Path());
    const std::string victim = home.File("bashrc");
    ASSERT_TRUE(WriteWholeFile(victim, "victim", 6));
    fs::create_symlink(victim, shared.File("link"));
    fs::create_symlink(home.File("planted"), shared.File("dangling"));
    fs::create_hard_link(victim, shared.File("hard"));
    ASSERT_EQ(::mkfifo(shared.File("fifo").c_str(), 0600), 0);
    EXPECT_EQ(Write(shared.File("link")), ELOOP);
    EXPECT_EQ(Write(shared.File("dangling")), ELOOP);
    EXPECT_EQ(Write(shared.File("hard")), EMLINK);
    EXPECT_NE(Write(shared.File("fifo")), 0); // at once, not waiting for a reader
    EXPECT_EQ(OpenStreamForUpdate(shared.File("link")), nullptr);
    std::vector<uint8_t> bytes;
    EXPECT_FALSE(ReadWholeFile(shared.File("fifo"), false, 100, bytes));
    EXPECT_TRUE(ReadWholeFile(shared.File("link"), false, 100, bytes)); // the user's own link

    // AtomicFile: a linked side file is not replaced; a temporary swapped
    // for a link gets nothing through it and is not moved into place.
    AtomicFile side(shared.File("link"), true);
    EXPECT_FALSE(side.Write("x", 1) && side.Commit());
    EXPECT_EQ(side.ErrorNumber(), ELOOP);
    AtomicFile file(shared.File("new"));
    fs::remove(file.Path());
    fs::create_symlink(victim, file.Path());
    EXPECT_TRUE(file.Write("evil", 4));
    EXPECT_FALSE(file.Commit());
    EXPECT_EQ(ReadFileText(victim), "victim");
    EXPECT_FALSE(fs::exists(home.File("planted")));

    if (!porvane_test::CanActAsAnotherUser())
        GTEST_SKIP() << "needs root for a second user";
    ASSERT_EQ(porvane_test::RunAsNobody([&] {
                  const bool made = WriteWholeFile(shared.File("theirs"), "x", 1);
                  ::chmod(shared.File("theirs").c_str(), 0666);
                  return made && ::symlink(victim.c_str(), shared.File("their-link").c_str()) == 0
                             ? 0
                             : 1;
              }),
              0);
    EXPECT_EQ(Write(shared.File("theirs")), EACCES);
    EXPECT_EQ(ReadFileText(shared.File("theirs")), "x");
    EXPECT_FALSE(ReadWholeFile(shared.File("their-link"), false, 100, bytes));
    EXPECT_EQ(errno, ELOOP);
    EXPECT_FALSE(ReadWholeFile(shared.File("theirs"), true, 100, bytes));
    RemoveScratchFile(shared.File("theirs"));
    EXPECT_EQ(Write(shared.File("theirs")), 0);
}
