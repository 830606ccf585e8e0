#include "card/JournalCommands.h"
#include "card/TransferEngine.h"
#include "card/support/EngineSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

using namespace engine_test;

namespace {

class JournalTest : public ::testing::Test {
  protected:
    void SetUp() override {
        vol_ = std::make_unique<CardVolume>();
        ASSERT_TRUE(MakeImage(*vol_, Card()));
        journal_ = std::make_unique<CardJournal>(dir_.Path().string());
    }
    std::string Card() const { return dir_.File("card.dcm"); }

    TempDir dir_;
    std::unique_ptr<CardVolume> vol_;
    std::unique_ptr<CardJournal> journal_;
};

TEST_F(JournalTest, AnEditWrittenBackIsTakenBackWithItsDataAndRedone) {
    PlaceSaver(*vol_, 3, Name12("EDIT"), 0x33, {199, 150, 198}, 5);
    const int entry = EntryNamed(*vol_, Name12("EDIT"));
    ASSERT_GE(entry, 0);
    vol_->Journal = journal_.get();
    const auto original = ReadFileBytes(Card());

    const std::string work = dir_.File("work");
    ASSERT_TRUE(ExportSaverToWorkFile(work, entry, *vol_));
    auto bytes = ReadFileBytes(work);
    for (size_t i = 100; i < bytes.size(); i += 7)
        bytes[i] ^= 0x5A;
    WriteFileBytes(work, bytes);
    ASSERT_TRUE(ImportWorkFileToSaver(work, entry, *vol_));
    const auto edited = ReadFileBytes(Card());
    ASSERT_NE(edited, original);

    JournalOutcome undo = UndoLastChange(*vol_, *journal_);
    EXPECT_TRUE(undo.done) << undo.message;
    EXPECT_EQ(ReadFileBytes(Card()), original);
    undo = UndoLastChange(*vol_, *journal_);
    EXPECT_EQ(undo.message, "Undid \"undo tool write-back EDIT\".");
    EXPECT_EQ(ReadFileBytes(Card()), edited);
}

TEST_F(JournalTest, KeepsTheNewestChangesAndReadsADamagedTailAsTheChangesBefore) {
    vol_->Journal = journal_.get();
    for (int i = 0; i < 70; ++i)
        ASSERT_TRUE(vol_->FormatVolume(i % 2 ? 240 : 200));
    std::vector<JournalRecord> records;
    ASSERT_TRUE(ReadHistory(*vol_, *journal_, records));
    ASSERT_EQ(records.size(), kJournalMaxChanges);
    EXPECT_EQ(records.back().command, "format 240");

    const std::string path = journal_->PathFor(*vol_);
    const auto size = std::filesystem::file_size(path);
    EXPECT_LE(size, kJournalMaxFileBytes);
    std::filesystem::resize_file(path, size - 10);
    ASSERT_TRUE(ReadHistory(*vol_, *journal_, records));
    EXPECT_EQ(records.size(), kJournalMaxChanges - 1);
    // The card is as the lost change left it, not as the last one read.
    const auto card = ReadFileBytes(Card());
    EXPECT_TRUE(UndoLastChange(*vol_, *journal_).refused);
    EXPECT_EQ(ReadFileBytes(Card()), card);
}

} // namespace
