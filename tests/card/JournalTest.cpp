#include "card/JournalCommands.h"
#include "card/SystemBlocks.h"
#include "card/TransferEngine.h"
#include "card/support/EngineSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <memory>
#include <vector>

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
    vol_->Store().SetRecorder(journal_.get());
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
    vol_->Store().SetRecorder(journal_.get());
    for (int i = 0; i < 70; ++i)
        ASSERT_TRUE(vol_->FormatVolume(i % 2 ? 240 : 200));
    std::vector<JournalRecord> records;
    ASSERT_TRUE(ReadHistory(*vol_, *journal_, records));
    ASSERT_EQ(records.size(), kJournalMaxChanges);
    EXPECT_EQ(records.back().command, "format 240");

    std::string path;
    for (const auto& e : std::filesystem::directory_iterator(journal_->Folder())) {
        if (e.path().extension() == ".journal")
            path = e.path().string();
    }
    const auto size = std::filesystem::file_size(path);
    EXPECT_LE(size, kJournalMaxFileBytes);
    std::filesystem::resize_file(path, size - 10);
    ASSERT_TRUE(LoadJournal(path, records));
    EXPECT_EQ(records.size(), kJournalMaxChanges - 1);
    // The card is as the lost change left it, not as the last one read: no
    // history is this card's now.
    ASSERT_TRUE(ReadHistory(*vol_, *journal_, records));
    EXPECT_TRUE(records.empty());
    const auto card = ReadFileBytes(Card());
    EXPECT_TRUE(UndoLastChange(*vol_, *journal_).refused);
    EXPECT_EQ(ReadFileBytes(Card()), card);
}

} // namespace

namespace {

// A record of a change that took off one saver whose chain is given, on a
// card of userBlocks; kept is a data block the change overwrote.
JournalRecord RecordOf(int userBlocks, bool game, const std::vector<int>& stored,
                       const std::vector<int>& table, int kept, int probe) {
    JournalRecord r;
    r.command = "delete S";
    uint8_t block[CardVolume::kBlockSize] = {};
    block[CardVolume::kUserBlocksOffset] = static_cast<uint8_t>(userBlocks);
    SwapWords(block);
    std::memcpy(r.before[kRootIndex], block, sizeof block);
    uint16_t fat[CardVolume::kBlockCount];
    std::fill(std::begin(fat), std::end(fat), CardVolume::kFatFree);
    for (size_t i = 0; i < table.size(); ++i)
        fat[table[i]] =
            i + 1 < table.size() ? static_cast<uint16_t>(table[i + 1]) : CardVolume::kFatEnd;
    EncodeFat(fat, r.before[kFatIndex]);
    JournalSaver s;
    s.raw[0] = game ? SaverEntry::kTypeGame : SaverEntry::kTypeData;
    s.raw[SaverEntry::kFirstBlockOffset] = game ? 0 : static_cast<uint8_t>(table[0]);
    std::memcpy(s.raw + SaverEntry::kNameOffset, "S           ", 12);
    s.raw[SaverEntry::kSizeOffset] = static_cast<uint8_t>(table.size());
    s.count = static_cast<uint8_t>(stored.size());
    for (size_t i = 0; i < stored.size(); ++i)
        s.chain[i] = static_cast<uint8_t>(stored[i]);
    s.hash = 1;
    std::memset(block, 0, sizeof block);
    std::memcpy(block, s.raw, sizeof s.raw);
    SwapWords(block);
    std::memcpy(r.before[DirectoryIndex(0)], block, sizeof block);
    std::memcpy(r.after, r.before, sizeof r.after);
    std::memset(r.after[DirectoryIndex(0)], 0, CardVolume::kBlockSize);
    r.removed.push_back(s);
    if (kept >= 0) {
        KeptBlock k;
        k.block = static_cast<uint8_t>(kept);
        r.kept.push_back(k);
    }
    if (probe >= 0)
        r.probes.push_back({static_cast<uint8_t>(probe), 7});
    return r;
}

// The history's records at the edges of the user area and the system blocks:
// what a record may name is read back, what it may not is refused whole.
TEST(JournalRecordEdges, BlocksAtTheEdgesOfTheUserAreaAreTakenOrRefused) {
    struct Case {
        const char* what;
        int userBlocks;
        bool game;
        std::vector<int> stored; // the chain the record keeps
        std::vector<int> table;  // the chain the table had
        int kept;
        int probe;
        bool sound;
    };
    const Case cases[] = {
        {"last user block of 241", 241, false, {240, 239}, {240, 239}, -1, -1, true},
        {"first directory block", 241, false, {241}, {241}, -1, -1, false},
        {"last user block of 200", 200, false, {199, 198}, {199, 198}, -1, -1, true},
        {"first block past 200", 200, false, {200, 199}, {200, 199}, -1, -1, false},
        {"a chain running past 200", 200, false, {199, 200}, {199, 200}, -1, -1, false},
        {"a game at block 0", 200, true, {0, 1}, {0, 1}, -1, -1, true},
        {"a chain not from its first block", 200, false, {198, 199}, {199, 198}, -1, -1, false},
        {"a block twice", 200, false, {199, 199}, {199}, -1, -1, false},
        {"a chain shorter than the table's", 200, false, {199}, {199, 198}, -1, -1, false},
        {"kept block 240", 241, false, {240}, {240}, 240, -1, true},
        {"kept block 241", 241, false, {240}, {240}, 241, -1, false},
        {"probe 240", 241, false, {240}, {240}, -1, 240, true},
        {"probe 241", 241, false, {240}, {240}, -1, 241, false},
    };
    TempDir dir;
    const std::string path = dir.File("h.journal");
    for (const Case& c : cases) {
        std::vector<JournalRecord> records = {
            RecordOf(c.userBlocks, c.game, c.stored, c.table, c.kept, c.probe)};
        ASSERT_TRUE(SaveJournal(path, records)) << c.what;
        ASSERT_TRUE(LoadJournal(path, records)) << c.what;
        EXPECT_EQ(records.size(), c.sound ? 1u : 0u) << c.what;
    }
}

} // namespace
