// Files written under fixed names in a folder another user shares: no write
// follows that user's links or lands in a file of theirs, and the victim's
// files stay as they were.
#include "base/SafeFile.h"
#include "base/AtomicFile.h"

#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using porvane_test::ReadFileText;
using porvane_test::TempDir;

namespace {

// A shared folder beside a private one holding the victim's file.
struct SharedRig {
    SharedRig() {
        porvane_test::ShareFolder(shared.Path());
        std::FILE* f = std::fopen(victim.c_str(), "wb");
        std::fputs("victim's own\n", f);
        std::fclose(f);
    }
    // Runs body as the other user; false when the test cannot.
    bool AsOther(const std::function<int()>& body) {
        return porvane_test::CanActAsAnotherUser() && porvane_test::RunAsNobody(body) == 0;
    }
    std::string File(const std::string& name) const { return shared.File(name); }

    TempDir home;
    TempDir shared;
    std::string victim = home.File("bashrc");
};

int Write(const std::string& path) {
    errno = 0;
    return WriteWholeFile(path, "scratch", 7) ? 0 : errno;
}

} // namespace

TEST(SafeFile, WritesRefuseLinksOtherNamesAndFifosAndKeepWhatIsThere) {
    SharedRig rig;
    fs::create_symlink(rig.victim, rig.File("link"));
    fs::create_symlink(rig.home.File("planted"), rig.File("dangling"));
    fs::create_hard_link(rig.victim, rig.File("hard"));
    ASSERT_EQ(::mkfifo(rig.File("fifo").c_str(), 0600), 0);
    EXPECT_EQ(Write(rig.File("link")), ELOOP);
    EXPECT_EQ(Write(rig.File("dangling")), ELOOP);
    EXPECT_EQ(Write(rig.File("hard")), EMLINK);
    EXPECT_NE(Write(rig.File("fifo")), 0); // refused at once, never waiting for a reader
    EXPECT_EQ(OpenStreamForUpdate(rig.File("link")), nullptr);
    EXPECT_EQ(OpenStreamForUpdate(rig.File("hard")), nullptr);
    EXPECT_EQ(ReadFileText(rig.victim), "victim's own\n");
    EXPECT_FALSE(fs::exists(rig.home.File("planted")));
    EXPECT_EQ(FileErrorText(ELOOP), "It is a symbolic link, which is not followed");

    // The user's own file is written from the start.
    WriteWholeFile(rig.File("own"), "a longer first text", 19);
    EXPECT_EQ(Write(rig.File("own")), 0);
    EXPECT_EQ(ReadFileText(rig.File("own")), "scratch");

    // A file the other user made under the name is neither written nor
    // emptied; a scratch file removed first is made anew.
    ASSERT_TRUE(rig.AsOther([&] { return WriteWholeFile(rig.File("theirs"), "x", 1) ? 0 : 1; }) ||
                !porvane_test::CanActAsAnotherUser());
    if (porvane_test::CanActAsAnotherUser()) {
        ::chmod(rig.File("theirs").c_str(), 0666);
        EXPECT_EQ(Write(rig.File("theirs")), EACCES);
        EXPECT_EQ(ReadFileText(rig.File("theirs")), "x");
        RemoveScratchFile(rig.File("theirs"));
        EXPECT_EQ(Write(rig.File("theirs")), 0);
    }
    RemoveScratchFile(rig.File("link"));
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(rig.File("link"))));
}

TEST(SafeFile, ReadsFollowOnlyTheUsersOwnLinksAndNeverWaitOnAFifo) {
    SharedRig rig;
    std::vector<uint8_t> bytes;
    fs::create_symlink(rig.victim, rig.File("mine"));
    EXPECT_TRUE(ReadWholeFile(rig.File("mine"), false, 100, bytes));
    EXPECT_EQ(bytes.size(), 13u);
    EXPECT_FALSE(ReadWholeFile(rig.File("mine"), false, 5, bytes));
    EXPECT_EQ(errno, EFBIG);
    ASSERT_EQ(::mkfifo(rig.File("fifo").c_str(), 0600), 0);
    EXPECT_FALSE(ReadWholeFile(rig.File("fifo"), false, 100, bytes));
    EXPECT_EQ(errno, EINVAL);
    if (!porvane_test::CanActAsAnotherUser())
        GTEST_SKIP() << "needs root for a second user";
    ASSERT_TRUE(rig.AsOther([&] {
        ::symlink(rig.victim.c_str(), rig.File("theirs").c_str());
        return WriteWholeFile(rig.File("their-file"), "x", 1) ? 0 : 1;
    }));
    EXPECT_FALSE(ReadWholeFile(rig.File("theirs"), false, 100, bytes));
    EXPECT_EQ(errno, ELOOP);
    EXPECT_TRUE(ReadWholeFile(rig.File("their-file"), false, 100, bytes));
    EXPECT_FALSE(ReadWholeFile(rig.File("their-file"), true, 100, bytes));
    EXPECT_EQ(errno, EACCES);
}

TEST(SafeFile, AtomicFileKeepsToItsOwnTemporaryAndRefusesALinkedSideFile) {
    SharedRig rig;
    const std::string target = rig.File("RUD2.cfg");
    fs::create_symlink(rig.victim, target);
    {
        AtomicFile side(target, true);
        ASSERT_TRUE(side.Write("888\r\n", 5));
        EXPECT_FALSE(side.Commit());
        EXPECT_EQ(side.ErrorNumber(), ELOOP);
    }
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(target)));

    // The temporary swapped for a link to the victim's file between its
    // making and the writes: the writes go to the file made, the swapped
    // name is not moved into place.
    fs::remove(target);
    AtomicFile file(target);
    ASSERT_TRUE(file.Ready());
    fs::remove(file.Path());
    fs::create_symlink(rig.victim, file.Path());
    EXPECT_TRUE(file.Write("evil", 4));
    EXPECT_EQ(OpenStreamForWriting(file.Path()), nullptr);
    EXPECT_FALSE(file.Commit());
    EXPECT_EQ(ReadFileText(rig.victim), "victim's own\n");
    EXPECT_FALSE(fs::exists(fs::symlink_status(target)));
}
