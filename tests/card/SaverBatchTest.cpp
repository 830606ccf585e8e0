// Savers copied, moved and deleted in lists: one change of each card, name
// clashes answered saver by saver, refusals that write nothing, and a link
// cut half way that loses no saver.
#include "card/SaverBatch.h"
#include "card/CardCheck.h"
#include "card/CutChanges.h"
#include "card/JournalCommands.h"
#include "card/support/EngineSupport.h"
#include "link/LinkPort.h"
#include "link/emu/BoxDevice.h"
#include "link/emu/EmulatorBackend.h"
#include "settings/Settings.h"

#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

using namespace engine_test;

namespace {

using Bytes = std::vector<uint8_t>;
using Savers = std::map<std::string, Bytes>;

// The listed savers of a card, list order, with their blocks' bytes.
std::vector<std::pair<std::string, Bytes>> Listing(CardVolume& v) {
    std::vector<std::pair<std::string, Bytes>> listing;
    EXPECT_TRUE(LoadVolume(v));
    for (int k = 0; k < v.ListedCount(); ++k) {
        const SaverEntry& e = v.Entries()[v.ListMap()[k]];
        uint8_t chain[256];
        const int n = v.CollectChain(e.FirstBlock, chain, e.SizeBlocks);
        listing.emplace_back(e.TrimmedName(), ChainBytes(v, Bytes(chain, chain + n)));
    }
    return listing;
}

Savers SaversOf(CardVolume& v) {
    const auto listing = Listing(v);
    return Savers(listing.begin(), listing.end());
}

// A card's savers in list order: upper case for one with the bytes of the
// saver of that name in mine, lower case for theirs.
std::string Letters(CardVolume& v, const Savers& mine, const Savers& theirs = {}) {
    std::string letters;
    for (const auto& [name, bytes] : Listing(v)) {
        const bool own = theirs.count(name) != 0 && theirs.at(name) == bytes;
        letters += own ? char(std::tolower(name[0])) : mine.at(name) == bytes ? name[0] : '?';
    }
    return letters;
}

std::vector<std::string> Commands(CardVolume& v, const CardJournal& journal) {
    std::vector<JournalRecord> records;
    EXPECT_TRUE(ReadHistory(v, journal, records));
    std::vector<std::string> commands;
    for (const JournalRecord& r : records)
        commands.push_back(r.command);
    return commands;
}

// Answers name clashes from a script (Skip once it runs out).
class ScriptedPolicy : public TransferPolicy {
  public:
    explicit ScriptedPolicy(std::vector<NameClash> answers = {}) : answers_(std::move(answers)) {}
    NameClash AnswerNameClash(const CardVolume& source, int entry, const CardVolume&,
                              int existing) override {
        asked.push_back(source.Entries()[entry].TrimmedName() + "@" + std::to_string(existing));
        return asked.size() <= answers_.size() ? answers_[asked.size() - 1] : NameClash::Skip;
    }
    void AfterSaver(const SaverStep& step) override { steps.push_back(step); }
    std::vector<std::string> asked;
    std::vector<SaverStep> steps;

  private:
    std::vector<NameClash> answers_;
};

class SaverBatchTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(MakeImage(src_, Src()));
        ASSERT_TRUE(MakeImage(dst_, Dst()));
        for (uint8_t i = 0; i < 4; ++i)
            PlaceSaver(src_, i, Name12(std::string(1, char('A' + i))), 0x33, {uint8_t(199 - i)},
                       uint8_t(i + 1));
        mine_ = SaversOf(src_);
        for (CardVolume* v : {&src_, &dst_}) {
            v->Store().SetFeedback(&ui_);
            v->Store().SetRecorder(&journal_);
        }
    }
    std::string Src() const { return dir_.File("src.dcm"); }
    std::string Dst() const { return dir_.File("dst.dcm"); }

    TempDir dir_;
    RecordingFeedback ui_;
    CardJournal journal_{dir_.Path().string()};
    CardVolume src_;
    CardVolume dst_;
    Savers mine_;
};

TEST_F(SaverBatchTest, RefusalsWriteNothingAndEachCardTakesOneChangeThatOneUndoTakesBack) {
    const Bytes srcBefore = ReadFileBytes(Src());
    const Bytes dstBefore = ReadFileBytes(Dst());
    // A game whose blocks 0 to 2 are not all free is refused: neither card
    // changes.
    PlaceSaver(src_, 4, Name12("GAME"), 0xCC, {0, 1, 2}, 5);
    PlaceSaver(dst_, 0, Name12("LOW"), 0x33, {1}, 6);
    const Bytes srcGame = ReadFileBytes(Src());
    const Bytes dstLow = ReadFileBytes(Dst());
    const int three[] = {0, 1, 2};
    const int game[] = {4};
    ScriptedPolicy policy;
    EXPECT_EQ(CopySavers(src_, game, dst_, TransferMode::Move, policy).attempted, 1);
    EXPECT_EQ(policy.steps.at(0).copy.outcome, SaverOutcome::GameBlocksTaken);
    EXPECT_EQ(ReadFileBytes(Src()), srcGame);
    EXPECT_EQ(ReadFileBytes(Dst()), dstLow);
    // A move refused before anything: the source's directory would not let
    // A go. It stops there.
    src_.Fat()[CardVolume::kDirFirstBlock] = 100;
    policy.steps.clear();
    EXPECT_EQ(CopySavers(src_, three, dst_, TransferMode::Move, policy).attempted, 0);
    ASSERT_EQ(policy.steps.size(), 1u);
    EXPECT_TRUE(policy.steps[0].sourceLocked);
    // Back to the four savers on an empty card.
    WriteFileBytes(Src(), srcBefore);
    WriteFileBytes(Dst(), dstBefore);
    ASSERT_TRUE(LoadVolume(src_) && LoadVolume(dst_));

    EXPECT_EQ(CopySavers(src_, three, dst_, TransferMode::Move, policy).moved, 3);
    EXPECT_EQ(Letters(src_, mine_) + "/" + Letters(dst_, mine_), "D/ABC");
    EXPECT_EQ(Commands(src_, journal_), std::vector<std::string>{"delete 3 savers"});
    EXPECT_EQ(Commands(dst_, journal_), std::vector<std::string>{"copy 3 savers from src.dcm"});
    // The move's deletes are DeleteSavers: one undo brings all three back.
    EXPECT_TRUE(UndoLastChange(src_, journal_).done);
    EXPECT_TRUE(UndoLastChange(dst_, journal_).done);
    EXPECT_EQ(ReadFileBytes(Src()), srcBefore);
    // The copies' blocks were free and stay as written; all else is back.
    EXPECT_TRUE(std::equal(dstBefore.begin() + 241 * 512, dstBefore.end(),
                           ReadFileBytes(Dst()).begin() + 241 * 512));
}

TEST_F(SaverBatchTest, NameClashesAreAnsweredSaverBySaver) {
    PlaceSaver(dst_, 0, Name12("B"), 0x33, {100}, 20);
    PlaceSaver(dst_, 1, Name12("C"), 0x33, {101}, 21);
    const Savers theirs = SaversOf(dst_);
    const Bytes src = ReadFileBytes(Src());
    const Bytes dst = ReadFileBytes(Dst());
    const struct {
        std::vector<NameClash> answers; // for B, then C
        const char* asked;
        const char* after; // source/destination after a move of A, B, C
    } cases[] = {
        {{NameClash::Overwrite, NameClash::Overwrite}, "B@0 C@1 ", "D/BCA"},
        {{NameClash::Append, NameClash::Skip}, "B@0 C@1 ", "CD/bcAB"},
        {{NameClash::Stop}, "B@0 ", "BCD/bcA"},
    };
    for (const auto& c : cases) {
        WriteFileBytes(Src(), src);
        WriteFileBytes(Dst(), dst);
        ASSERT_TRUE(LoadVolume(src_) && LoadVolume(dst_));
        ScriptedPolicy policy(c.answers);
        const int three[] = {0, 1, 2};
        CopySavers(src_, three, dst_, TransferMode::Move, policy);
        std::string asked;
        for (const std::string& a : policy.asked)
            asked += a + " ";
        EXPECT_EQ(asked, c.asked);
        EXPECT_EQ(Letters(src_, mine_) + "/" + Letters(dst_, mine_, theirs), c.after);
    }
}

// A clock whose second moves on at every look: a box that stopped answering
// is given up after its polls, not after seconds.
class RacingClock : public LinkHost {
  public:
    std::string ClockText() override {
        ++ticks_;
        return "00:" + std::to_string(10 + ticks_ / 60 % 50) + ":" +
               std::to_string(10 + ticks_ % 50);
    }
    void RepaintMainWindow() override {}
    void SetStatusText(const std::string&) override {}
    int64_t MonotonicMs() override { return ticks_ * 1000; }

  private:
    int64_t ticks_ = 0;
};

// A box that stops answering after its Nth block write, for every N, under a
// move of three savers onto the slot and off it: the next reading of the slot
// takes its change back (or finishes it), and every saver is on one card or
// the other with its bytes.
TEST(SaverBatchCut, ALinkCutHalfWayLosesNoSaver) {
    class Answering : public RecordingFeedback {
      public:
        bool Confirm(const std::string&) override { return finish; }
        bool finish = false;
    };
    for (const bool ontoSlot : {true, false}) {
        for (const bool finish : {false, true}) {
            bool whole = false;
            for (uint32_t n = 1; !whole; ++n) {
                SCOPED_TRACE(std::string(ontoSlot ? "onto" : "off") + " the slot, cut after " +
                             std::to_string(n) + (finish ? ", finished" : ", taken back"));
                ASSERT_LT(n, 30u);
                TempDir dir;
                Answering ui;
                ui.finish = finish;
                CardJournal journal(dir.Path().string());
                CardVolume image;
                CardVolume slot;
                ASSERT_TRUE(MakeImage(image, dir.File("image.dcm")));
                ASSERT_TRUE(MakeImage(slot, dir.File("slot1.dcm")));
                for (uint8_t i = 0; i < 3; ++i)
                    PlaceSaver(ontoSlot ? image : slot, i, Name12(std::string(1, char('A' + i))),
                               0x33, {uint8_t(199 - 2 * i), uint8_t(198 - 2 * i)}, i);
                slot.CloseImage();
                auto backend = std::make_unique<EmulatorBackend>(
                    std::make_unique<TwoSlotDevice>(dir.Path().string()));
                LinkBox& box = backend->Box();
                RacingClock clock;
                LinkPort link(std::move(backend), &clock);
                link.ShortDelay = link.LongDelay = link.LongestDelay = 0;
                ASSERT_TRUE(link.DetectDevice());
                Settings settings;
                settings.VerifyTransfers = 0;
                slot.SetPlace(CardPlace::Slot1);
                slot.Store().SetLink(&link);
                slot.Store().SetConfig(&settings);
                ASSERT_TRUE(LoadVolume(slot));
                slot.Store().SetFeedback(&ui);
                image.Store().SetFeedback(&ui);
                slot.Store().SetRecorder(&journal);
                image.Store().SetRecorder(&journal);
                const Savers all = SaversOf(ontoSlot ? image : slot);
                const Bytes imageBefore = ReadFileBytes(dir.File("image.dcm"));

                box.Faults().stopAfterWrites = n;
                ScriptedPolicy policy;
                const int entries[] = {0, 1, 2};
                CopySavers(ontoSlot ? image : slot, entries, ontoSlot ? slot : image,
                           TransferMode::Move, policy);
                whole = !box.Faults().noBox;
                box.Faults() = BoxFaults{};
                link.LinkFailed = false;
                // Copies cut off may be taken back: their source keeps them all.
                if (ontoSlot && !whole) {
                    EXPECT_EQ(ReadFileBytes(dir.File("image.dcm")), imageBefore);
                }
                SettleCutChange(slot, journal);
                CardCheckReport report;
                ASSERT_TRUE(CheckCard(slot, report));
                EXPECT_TRUE(report.Clean());
                Savers found = SaversOf(slot);
                found.merge(SaversOf(image));
                for (const auto& [name, bytes] : all)
                    EXPECT_TRUE(found[name] == bytes) << name;
            }
        }
    }
}

} // namespace
