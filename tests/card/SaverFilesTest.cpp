// Whole folders of saver files: the names an export gives, the files a
// folder offers, and a card out and back in.
#include "card/SaverFiles.h"
#include "card/DciFile.h"
#include "card/SaverChains.h"
#include "card/support/EngineSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <set>

using namespace engine_test;
namespace fs = std::filesystem;

namespace {

class SaverFilesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        card_ = std::make_unique<CardVolume>();
        card_->Ui = &ui_;
        ASSERT_TRUE(MakeImage(*card_, dir_.File("card.dcm")));
    }
    std::vector<std::string> Stems(SaverFileFormat format) const {
        std::vector<std::string> stems;
        for (const SaverFileName& name : SaverFileNames(*card_, format))
            stems.push_back(name.stem);
        return stems;
    }
    TempDir dir_;
    RecordingUi ui_;
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

// A card's savers out as files and into an empty card: the same savers, byte
// for byte, entries included (but for the first block); as single-saver
// files and as pairs. A saver whose chain is broken is reported and the rest
// go on.
TEST_F(SaverFilesTest, CardOutToAFolderAndBackIsTheSameCard) {
    PlaceSaver(*card_, 0, Name12("A GAME"), 0xCC, {0, 1, 2}, 0);
    PlaceSaver(*card_, 1, Name12("DATA/ONE"), 0x33, {199, 150, 198}, 0xFF);
    PlaceSaver(*card_, 2, Name12("DATA TWO"), 0x33, {197}, 0x00);
    card_->Entries[1].Raw[1] = 0xFF; // copy protected, the one value a pair keeps
    card_->WriteDirectory();
    ASSERT_TRUE(LoadVolume(*card_));
    for (const SaverFileFormat format : {SaverFileFormat::Dci, SaverFileFormat::VmsPair}) {
        const std::string folder = dir_.File(format == SaverFileFormat::Dci ? "dci" : "vms");
        fs::create_directories(folder);
        const auto out = ExportSaverFiles(*card_, folder, format, false);
        ASSERT_EQ(out.size(), 3u);
        for (const SaverFileReport& r : out)
            EXPECT_TRUE(r.done) << r.file << ": " << r.reason;
        // A second export replaces nothing.
        const auto again = ExportSaverFiles(*card_, folder, format, false);
        EXPECT_FALSE(again[0].done);
        EXPECT_NE(again[0].reason.find("exists"), std::string::npos) << again[0].reason;
        EXPECT_EQ(ExistingSaverFiles(SaverFileNames(*card_, format), folder, format).size(),
                  format == SaverFileFormat::Dci ? 3u : 6u);

        std::vector<std::string> files;
        std::string error;
        ASSERT_TRUE(SaveFilesIn(folder, files, error)) << error;
        ASSERT_EQ(files.size(), 3u); // a pair comes in once
        CardVolume empty;
        empty.Ui = &ui_;
        ASSERT_TRUE(MakeImage(empty, dir_.File("empty.dcm")));
        const auto in = ImportSaverFiles(files, empty, {}, 0);
        for (const SaverFileReport& r : in)
            EXPECT_TRUE(r.done) << r.file << ": " << r.reason;
        ASSERT_EQ(empty.ListedCount, 3);
        for (int k = 0; k < 3; ++k) {
            const SaverEntry& from = card_->Entries[k];
            const int at = EntryNamed(empty, from.Name);
            ASSERT_GE(at, 0) << from.Name;
            const SaverEntry& to = empty.Entries[at];
            // A pair keeps what its VMI can say of the entry: not byte 26's
            // neighbours, which this card filled with a pattern.
            const int compared = format == SaverFileFormat::Dci ? 32 : 26;
            for (int b = 0; b < compared; ++b) {
                if (b != 2) {
                    EXPECT_EQ(to.Raw[b], from.Raw[b]) << from.Name << " byte " << b;
                }
            }
            EXPECT_EQ(ChainBytes(empty, ChainOf(empty, ChainStart(to))),
                      ChainBytes(*card_, ChainOf(*card_, ChainStart(from))))
                << from.Name;
        }
        empty.CloseImage();
        fs::remove(dir_.File("empty.dcm"));
    }

    // A broken chain: that saver's export fails and leaves no file, the
    // others are written.
    DamageTable(*card_, {{150, CardVolume::kFatFree}});
    const std::string broken = dir_.File("broken");
    fs::create_directories(broken);
    EXPECT_FALSE(ExportDci(dir_.File("one.dci"), 1, *card_));
    const auto out = ExportSaverFiles(*card_, broken, SaverFileFormat::Dci, false);
    EXPECT_TRUE(out[0].done);
    EXPECT_FALSE(out[1].done);
    EXPECT_NE(out[1].reason.find("broken"), std::string::npos) << out[1].reason;
    EXPECT_TRUE(out[2].done);
    EXPECT_FALSE(fs::exists(broken + "/DATA_ONE.DCI"));
    const auto summary = SaverFileSummary(out, false, [](const std::string& n) { return n; });
    EXPECT_EQ(summary[0], "Exported 2 of 3 savers.");
}

// A folder as people keep them: files in name order, each pair once, a VMS
// alone as data (or a game when asked), other files left out; a refused
// file is reported with its reason and the next one goes on.
TEST_F(SaverFilesTest, FolderImportTakesEverySaveFileAndGoesOnPastRefusals) {
    PlaceSaver(*card_, 0, Name12("KEPT"), 0x33, {199}, 1);
    const std::string folder = dir_.File("in");
    fs::create_directories(folder);
    std::string error;
    ASSERT_TRUE(ExportSaverFile(*card_, 0, folder, "b_kept", SaverFileFormat::Dci, false, error));
    ASSERT_TRUE(
        ExportSaverFile(*card_, 0, folder, "a_pair", SaverFileFormat::VmsPair, false, error));
    // The same saver again, a VMS alone, a VMI that does not match its VMS,
    // and files that are no savers.
    WriteFileBytes(folder + "/c_lone.vms", std::vector<uint8_t>(512, 0));
    auto vmi = ReadFileBytes(folder + "/a_pair.VMI");
    vmi[0x68] = 1; // says 513 bytes
    std::memcpy(vmi.data() + 0x50, "D_BAD\0\0\0", 8);
    WriteFileBytes(folder + "/d_bad.vmi", vmi);
    WriteFileBytes(folder + "/d_bad.vms", std::vector<uint8_t>(512, 0));
    WriteFileBytes(folder + "/notes.txt", {1, 2});
    fs::create_directories(folder + "/sub.dci");

    std::vector<std::string> files;
    ASSERT_TRUE(SaveFilesIn(folder, files, error));
    std::vector<std::string> names;
    for (const std::string& f : files)
        names.push_back(fs::path(f).filename().string());
    EXPECT_EQ(names,
              (std::vector<std::string>{"a_pair.VMI", "b_kept.DCI", "c_lone.vms", "d_bad.vmi"}));

    SaverFileQuestions questions;
    std::vector<std::string> asked;
    questions.sameName = [&](const std::string& name) {
        asked.push_back(name);
        return asked.size() == 1 ? SameNameChoice::Append : SameNameChoice::Refuse;
    };
    questions.loneVms = [](const std::string&) { return LoneVmsChoice::Game; };
    const auto reports = ImportSaverFiles(files, *card_, questions, 0);
    ASSERT_EQ(reports.size(), 4u);
    EXPECT_TRUE(reports[0].done);  // appended beside KEPT
    EXPECT_FALSE(reports[1].done); // KEPT a third time: refused
    EXPECT_TRUE(reports[2].done);  // the lone VMS, as a game
    EXPECT_FALSE(reports[3].done); // the VMI that does not match
    EXPECT_NE(reports[3].reason.find("513"), std::string::npos) << reports[3].reason;
    EXPECT_EQ(asked.size(), 2u);
    EXPECT_EQ(card_->ListedCount, 3);
    EXPECT_TRUE(card_->Entries[EntryNamed(*card_, Name12("C_LONE"))].IsGame);
    const auto summary =
        SaverFileSummary(reports, true, [](const std::string& n) { return "<" + n + ">"; });
    EXPECT_EQ(summary[0], "Imported 2 of 4 files.");
    EXPECT_EQ(summary[2], "  refused  b_kept.DCI (<KEPT>): a saver of that name is on the card");
}

} // namespace
