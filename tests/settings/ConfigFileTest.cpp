#include "settings/ConfigFile.h"

#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

class ConfigFileTest : public ::testing::Test {
  protected:
    void SetUp() override { dir_ = temp_.Path(); }

    std::string Dir() const { return dir_.string(); }
    std::string CfgPath() const { return (dir_ / "RUD2.cfg").string(); }
    void WriteCfg(const std::string& bytes) { std::ofstream(CfgPath(), std::ios::binary) << bytes; }
    std::string ReadCfg() const { return porvane_test::ReadFileText(CfgPath()); }

    porvane_test::TempDir temp_;
    fs::path dir_;
};

TEST_F(ConfigFileTest, FirstStartCreatesDefaultFileAndGivesStartDir) {
    Settings s;
    s.BasePort = 1;
    s.ShortDelay = 2;
    s.AutoRefresh = 0;
    const std::string startDir = LoadConfig(Dir(), s);
    EXPECT_EQ(startDir, Dir() + "/");
    EXPECT_EQ(ReadCfg(),
              "888\r\n00000256\r\n00004608\r\n00006912\r\n00009216\r\n0\r\n1\r\n1\r\n1\r\n0\r\n");
    EXPECT_EQ(s.BasePort, 888);
    EXPECT_EQ(s.ShortDelay, 256);
    EXPECT_EQ(s.LongDelay, 4608);
    EXPECT_EQ(s.LongestDelay, 6912);
    EXPECT_EQ(s.BarMax, 9216);
    EXPECT_EQ(s.DragMode, 0);
    EXPECT_EQ(s.AutoRefresh, 1);

    // A folder already ending in "/" is kept as it is.
    EXPECT_EQ(LoadConfig(Dir() + "/", s), Dir() + "/");
}

TEST_F(ConfigFileTest, ShortFileAndEmptyLinesTakeDefaults) {
    WriteCfg("632\r\n100\r\n200\r\n");
    Settings s;
    LoadConfig(Dir(), s);
    EXPECT_EQ(s.BasePort, 632);
    EXPECT_EQ(s.ShortDelay, 100);
    EXPECT_EQ(s.LongDelay, 200);
    EXPECT_EQ(s.LongestDelay, 6912);
    EXPECT_EQ(s.BarMax, 9216);
    EXPECT_EQ(s.DragMode, 0);
    EXPECT_EQ(s.AutoRefresh, 1);
    // The existing file is read, never rewritten.
    EXPECT_EQ(ReadCfg(), "632\r\n100\r\n200\r\n");

    WriteCfg("\r\n\r\n7\r\n\r\n\r\n1\r\n");
    LoadConfig(Dir(), s);
    EXPECT_EQ(s.BasePort, 888);
    EXPECT_EQ(s.ShortDelay, 256);
    EXPECT_EQ(s.LongDelay, 7);
    EXPECT_EQ(s.DragMode, 1);
    EXPECT_EQ(s.AutoRefresh, 1);
}

TEST_F(ConfigFileTest, NonNumericLinesTakeTheirDefaults) {
    WriteCfg("0x378\r\n12ab\r\n99999999999\r\n 5\r\n-3\r\nmove\r\n0\r\n");
    Settings s;
    LoadConfig(Dir(), s);
    EXPECT_EQ(s.BasePort, 888);
    EXPECT_EQ(s.ShortDelay, 256);
    EXPECT_EQ(s.LongDelay, 4608); // beyond int32
    EXPECT_EQ(s.LongestDelay, 6912);
    EXPECT_EQ(s.BarMax, -3);
    EXPECT_EQ(s.DragMode, 0);
    EXPECT_EQ(s.AutoRefresh, 0);
}

TEST_F(ConfigFileTest, LowBitsOfPortAndModesAndBareLfLines) {
    WriteCfg("66424\n1\n2\n3\n4\n257\n258\n");
    Settings s;
    LoadConfig(Dir(), s);
    EXPECT_EQ(s.BasePort, 66424 & 0xFFFF);
    EXPECT_EQ(s.ShortDelay, 1);
    EXPECT_EQ(s.BarMax, 4);
    EXPECT_EQ(s.DragMode, 1);
    EXPECT_EQ(s.AutoRefresh, 2);
}

TEST_F(ConfigFileTest, SaveWritesPlainDecimalsThatLoadBack) {
    Settings s;
    LoadConfig(Dir(), s); // creates the default file
    ASSERT_TRUE(SaveConfig(Dir() + "/", s));
    EXPECT_EQ(ReadCfg(), "888\r\n256\r\n4608\r\n6912\r\n9216\r\n0\r\n1\r\n1\r\n1\r\n0\r\n");

    s.BasePort = 632;
    s.ShortDelay = 0;
    s.LongDelay = 12;
    s.LongestDelay = 65536;
    s.BarMax = 100;
    s.DragMode = 1;
    s.AutoRefresh = 0;
    s.VerifyTransfers = 0;
    s.SaverFilesAsPairs = 1;
    ASSERT_TRUE(SaveConfig(Dir(), s));
    EXPECT_EQ(ReadCfg(), "632\r\n0\r\n12\r\n65536\r\n100\r\n1\r\n0\r\n0\r\n1\r\n1\r\n");
    Settings back;
    LoadConfig(Dir(), back);
    EXPECT_EQ(back.BasePort, 632);
    EXPECT_EQ(back.ShortDelay, 0);
    EXPECT_EQ(back.LongDelay, 12);
    EXPECT_EQ(back.LongestDelay, 65536);
    EXPECT_EQ(back.BarMax, 100);
    EXPECT_EQ(back.DragMode, 1);
    EXPECT_EQ(back.AutoRefresh, 0);
    EXPECT_EQ(back.VerifyTransfers, 0);
    EXPECT_EQ(back.SaverFilesAsPairs, 1);
}

TEST_F(ConfigFileTest, LineEightSwitchesVerificationAndSevenLinesMeanOn) {
    Settings s;
    s.VerifyTransfers = 0;
    WriteCfg("888\r\n256\r\n4608\r\n6912\r\n9216\r\n0\r\n1\r\n");
    LoadConfig(Dir(), s);
    EXPECT_EQ(s.VerifyTransfers, 1);
    // An existing seven-line file is left as it is until the dialog saves.
    EXPECT_EQ(ReadCfg(), "888\r\n256\r\n4608\r\n6912\r\n9216\r\n0\r\n1\r\n");

    const struct {
        const char* line;
        uint8_t verify;
    } cases[] = {{"0", 0}, {"1", 1}, {"", 1}, {"off", 1}, {"256", 1}, {"2", 1}};
    for (const auto& c : cases) {
        WriteCfg(std::string("888\r\n256\r\n4608\r\n6912\r\n9216\r\n0\r\n1\r\n") + c.line + "\r\n");
        s.VerifyTransfers = 7;
        LoadConfig(Dir(), s);
        EXPECT_EQ(s.VerifyTransfers, c.verify) << c.line;
        EXPECT_EQ(s.AutoRefresh, 1) << c.line;
    }
}

TEST_F(ConfigFileTest, LineNineSwitchesTheHistoryAndEightLinesMeanOn) {
    Settings s;
    s.KeepHistory = 0;
    const std::string eight = "888\r\n256\r\n4608\r\n6912\r\n9216\r\n0\r\n1\r\n0\r\n";
    WriteCfg(eight);
    LoadConfig(Dir(), s);
    EXPECT_EQ(s.KeepHistory, 1);
    EXPECT_EQ(s.VerifyTransfers, 0);
    WriteCfg(eight + "0\r\n");
    LoadConfig(Dir(), s);
    EXPECT_EQ(s.KeepHistory, 0);
    ASSERT_TRUE(SaveConfig(Dir(), s));
    // Readers of eight lines find their eight lines unchanged in front.
    EXPECT_EQ(ReadCfg().substr(0, eight.size()), eight);
}

TEST_F(ConfigFileTest, UnreadableFileIsNeverReplacedByDefaults) {
    WriteCfg("632\r\n100\r\n");
    // Writable but not readable: root would read it all the same, so the load
    // runs in a child that gives up root first.
    ASSERT_EQ(::chmod(CfgPath().c_str(), 0200), 0);
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(CfgPath().c_str(), 65534, 65534), 0);
    }
    const int code = porvane_test::RunAsNobody([&] {
        if (std::ifstream(CfgPath()))
            return porvane_test::kCannotDropRoot; // still readable here
        Settings s;
        std::string error;
        LoadConfig(Dir(), s, &error);
        return s.BasePort == 888 && s.ShortDelay == 256 && !error.empty() ? 0 : 1;
    });
    if (code == porvane_test::kCannotDropRoot)
        GTEST_SKIP() << "the file cannot be made unreadable here";
    EXPECT_EQ(code, 0);
    EXPECT_EQ(ReadCfg(), "632\r\n100\r\n");
}

TEST_F(ConfigFileTest, EmptyFolderIsTheCurrentFolder) {
    EXPECT_EQ(WithTrailingSlash(""), "./");
    const fs::path before = fs::current_path();
    fs::current_path(dir_);
    Settings s;
    const std::string startDir = LoadConfig("", s);
    fs::current_path(before);
    EXPECT_EQ(startDir, "./");
    EXPECT_EQ(ReadCfg(),
              "888\r\n00000256\r\n00004608\r\n00006912\r\n00009216\r\n0\r\n1\r\n1\r\n1\r\n0\r\n");
}

TEST_F(ConfigFileTest, SaveIntoMissingFolderFails) {
    std::string error;
    EXPECT_FALSE(SaveConfig(Dir() + "/no/such", Settings{}, &error));
    EXPECT_FALSE(error.empty());
}

} // namespace

// A FIFO or folder under the name must neither block the program nor be
// replaced; a failed save must not leave a cut-off file.
TEST_F(ConfigFileTest, OddFilesAreSkippedAndSavesNeverCutTheFileShort) {
    ASSERT_EQ(::mkfifo(CfgPath().c_str(), 0600), 0);
    Settings s;
    s.BasePort = 1;
    std::string error;
    LoadConfig(Dir(), s, &error); // would hang reading a FIFO
    EXPECT_EQ(s.BasePort, 888);
    EXPECT_NE(error.find("not a regular file"), std::string::npos);
    EXPECT_TRUE(fs::is_fifo(CfgPath()));
    fs::remove(CfgPath());

    Settings saved;
    saved.BasePort = 632;
    ASSERT_TRUE(SaveConfig(Dir(), saved));
    const std::string before = ReadCfg();
    // A disk that takes only a few bytes makes the save fail part way.
    saved.BasePort = 956;
    {
        porvane_test::FileSizeLimit full(8);
        EXPECT_FALSE(SaveConfig(Dir(), saved));
    }
    EXPECT_EQ(ReadCfg(), before);
}
