#include "base/AtomicFile.h"

#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;
using porvane_test::TempDir;

namespace {

std::string Contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

int FilesIn(const TempDir& dir) {
    return static_cast<int>(std::distance(fs::directory_iterator(dir.Path()), {}));
}

mode_t ModeOf(const std::string& path) {
    struct stat info {};
    ::stat(path.c_str(), &info);
    return info.st_mode & 07777;
}

} // namespace

TEST(AtomicFile, ReplacesWholeKeepingPermissionsAndLeavesNoTemporary) {
    TempDir dir;
    const std::string path = dir.File("out.bin");
    std::string error;
    ASSERT_TRUE(WriteFileAtomically(path, "first", 5, &error)) << error;
    EXPECT_EQ(Contents(path), "first");
    const mode_t mask = ::umask(0);
    ::umask(mask);
    EXPECT_EQ(ModeOf(path), 0666 & ~mask); // not the temporary's 0600

    ::chmod(path.c_str(), 0640);
    ASSERT_TRUE(WriteFileAtomically(path, "second", 6, &error)) << error;
    EXPECT_EQ(Contents(path), "second");
    EXPECT_EQ(ModeOf(path), 0640u);
    EXPECT_EQ(FilesIn(dir), 1);

    // Not replacing: the file there wins and the temporary goes.
    {
        AtomicFile file(path);
        ASSERT_TRUE(file.Ready());
        ASSERT_TRUE(file.Write("third", 5));
        EXPECT_FALSE(file.Commit(false));
        EXPECT_EQ(file.ErrorNumber(), EEXIST);
    }
    EXPECT_EQ(Contents(path), "second");
    EXPECT_EQ(FilesIn(dir), 1);

    EXPECT_FALSE(AtomicFile(dir.File("no/such/folder")).Ready());
}

TEST(AtomicFile, AFailedWriteLeavesTheOldFileAsItWas) {
    TempDir dir;
    const std::string path = dir.File("out.bin");
    ASSERT_TRUE(WriteFileAtomically(path, "old", 3));
    const std::string big(4096, 'x');
    std::string error;
    {
        porvane_test::FileSizeLimit full(1000);
        EXPECT_FALSE(WriteFileAtomically(path, big.data(), big.size(), &error));
    }
    EXPECT_EQ(error, "cannot write " + path + ": " + std::strerror(EFBIG));
    EXPECT_EQ(Contents(path), "old");
    EXPECT_EQ(FilesIn(dir), 1);
}
