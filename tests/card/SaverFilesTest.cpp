// Whole folders of saver files: the names an export gives, and an export
// that goes on past a saver it cannot write.
#include "card/SaverFiles.h"
#include "card/DciFile.h"
#include "card/support/EngineSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

using namespace engine_test;
namespace fs = std::filesystem;

namespace {

class SaverFilesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        card_ = std::make_unique<CardVolume>();
        card_->Store().SetFeedback(&ui_);
        ASSERT_TRUE(MakeImage(*card_, dir_.File("card.dcm")));
    }
    std::vector<std::string> Stems(SaverFileFormat format) const {
        std::vector<std::string> stems;
        for (const SaverFileName& name : SaverFileNames(*card_, format))
            stems.push_back(name.stem);
        return stems;
    }
    TempDir dir_;
    RecordingFeedback ui_;
    std::unique_ptr<CardVolume> card_;
};

TEST_F(SaverFilesTest, NamesAreSafeEverywhereAndUniqueWhateverTheCase) {
    const std::string names[] = {"A/B C",        "a_b_c",        "CON", "",
                                 "LONGER_NAME1", "LONGER_NAME2", "-x",  "\x83\x5A\x81\x5B",
                                 "SAME",         "same"};
    uint8_t block = 199;
    for (int i = 0; i < 10; ++i)
        PlaceSaver(*card_, i, Name12(names[i]), 0x33, {block--}, static_cast<uint8_t>(i));
    EXPECT_EQ(Stems(SaverFileFormat::Dci),
              (std::vector<std::string>{"A_B_C", "a_b_c~2", "CON_", "SAVER", "LONGER_NAME1",
                                        "LONGER_NAME2", "_x", "____", "SAME", "same~2"}));
    EXPECT_EQ(Stems(SaverFileFormat::VmsPair),
              (std::vector<std::string>{"A_B_C", "a_b_c~2", "CON_", "SAVER", "LONGER_N", "LONGER~2",
                                        "_x", "____", "SAME", "same~2"}));
}

// A saver whose chain is broken cannot be exported whole: its file is not
// written, and the savers after it still are.
TEST_F(SaverFilesTest, ExportOfABrokenChainFailsAndTheRestGoOn) {
    PlaceSaver(*card_, 0, Name12("FIRST"), 0x33, {199}, 1);
    PlaceSaver(*card_, 1, Name12("BROKEN"), 0x33, {198, 150, 197}, 2);
    PlaceSaver(*card_, 2, Name12("LAST"), 0x33, {196}, 3);
    DamageTable(*card_, {{150, CardVolume::kFatFree}});
    EXPECT_FALSE(ExportDci(dir_.File("one.dci"), 1, *card_));
    const auto out = ExportSaverFiles(*card_, dir_.Path().string(), SaverFileFormat::Dci, false);
    ASSERT_EQ(out.size(), 3u);
    EXPECT_TRUE(out[0].done && out[2].done);
    EXPECT_FALSE(out[1].done);
    EXPECT_NE(out[1].reason.find("broken"), std::string::npos) << out[1].reason;
    EXPECT_FALSE(fs::exists(dir_.File("BROKEN.DCI")));
    const auto summary = SaverFileSummary(out, false, [](const std::string& n) { return n; });
    EXPECT_EQ(summary[0], "Exported 2 of 3 savers.");
}

} // namespace
