// A change the link cuts off after its Nth block write, for every N: the
// next reading of the card takes it back (the card as it was) or, when asked
// to, finishes it (the card as the change meant it); the card checks clean
// and no saver's data changed either way.
#include "card/CardCheck.h"
#include "card/CardJournal.h"
#include "card/CutChanges.h"
#include "card/JournalCommands.h"
#include "card/TransferEngine.h"
#include "card/support/EngineSupport.h"
#include "link/LinkHost.h"
#include "link/LinkPort.h"
#include "link/emu/BoxDevice.h"
#include "link/emu/EmulatorBackend.h"
#include "settings/Settings.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>

using namespace engine_test;

namespace {

class AnsweringUi : public RecordingUi {
  public:
    bool Confirm(const std::string& text) override {
        questions.push_back(text);
        return answer;
    }
    bool answer = false;
    std::vector<std::string> questions;
};

// A clock that moves at every look: a box that went silent is given up on
// after the link's polls, not after seconds.
class MovingClock : public LinkHost {
  public:
    std::string ClockText() override {
        ++calls_;
        char text[16];
        std::snprintf(text, sizeof text, "14:%02ld:%02ld", (calls_ / 60) % 60, calls_ % 60);
        return text;
    }
    void RepaintMainWindow() override {}
    void SetStatusText(const std::string&) override {}

  private:
    long calls_ = 0;
};

using Bytes = std::vector<uint8_t>;
using Names = std::vector<std::string>;

class CutChangeTest : public ::testing::Test {
  public:
    // Slot 1: A (2 blocks), B (3), C (1); slot 2: D (3). Both read, the
    // history fresh.
    void Start() {
        std::filesystem::remove_all(dir_.Path());
        std::filesystem::create_directories(dir_.Path());
        if (cards_[0].empty()) {
            {
                CardVolume card;
                ASSERT_TRUE(MakeImage(card, dir_.File("slot1.dcm")));
                PlaceSaver(card, 0, Name12("A"), 0x33, {199, 198}, 1);
                PlaceSaver(card, 1, Name12("B"), 0x33, {197, 196, 195}, 2);
                PlaceSaver(card, 2, Name12("C"), 0x33, {194}, 3);
            }
            {
                CardVolume card;
                ASSERT_TRUE(MakeImage(card, dir_.File("slot2.dcm")));
                PlaceSaver(card, 0, Name12("D"), 0x33, {199, 198, 197}, 4);
            }
            cards_[0] = ReadFileBytes(dir_.File("slot1.dcm"));
            cards_[1] = ReadFileBytes(dir_.File("slot2.dcm"));
        } else {
            WriteFileBytes(dir_.File("slot1.dcm"), cards_[0]);
            WriteFileBytes(dir_.File("slot2.dcm"), cards_[1]);
        }
        auto backend = std::make_unique<EmulatorBackend>(
            std::make_unique<TwoSlotDevice>(dir_.Path().string()));
        box_ = &backend->Box();
        link_ = std::make_unique<LinkPort>(std::move(backend), &clock_);
        link_->ShortDelay = link_->LongDelay = link_->LongestDelay = 0;
        ASSERT_TRUE(link_->DetectDevice());
        journal_ = std::make_unique<CardJournal>(dir_.Path().string());
        for (int s = 0; s < 2; ++s) {
            slot_[s] = std::make_unique<CardVolume>();
            slot_[s]->Device = static_cast<uint8_t>(s);
            slot_[s]->Link = link_.get();
            slot_[s]->Config = &settings_;
            slot_[s]->Ui = &ui_;
            slot_[s]->Journal = journal_.get();
            ASSERT_TRUE(LoadVolume(*slot_[s]));
        }
        original_.clear();
        for (int s = 0; s < 2; ++s) {
            for (int k = 0; k < Slot(s).ListedCount; ++k) {
                const SaverEntry& e = Slot(s).Entries[Slot(s).ListMap[k]];
                original_[e.TrimmedName()] = ChainBytes(Slot(s), ChainOf(Slot(s), e.FirstBlock));
            }
        }
    }
    CardVolume& Slot(int s) { return *slot_[s]; }
    int Entry(int s, const char* name) { return EntryNamed(Slot(s), Name12(name)); }

    // The link mended; each card read as a window or command reads it next.
    void Mend() {
        box_->Faults().noBox = false;
        box_->Faults().stopAfterWrites = 0;
        link_->LinkFailed = false;
    }

    Names Listed(int s) {
        EXPECT_TRUE(LoadVolume(Slot(s)));
        Names names;
        for (int k = 0; k < Slot(s).ListedCount; ++k)
            names.push_back(Slot(s).Entries[Slot(s).ListMap[k]].TrimmedName());
        std::sort(names.begin(), names.end());
        return names;
    }

    // Every listed saver holds the bytes it had at the start.
    void ExpectSaversIntact(int s, const std::string& where) {
        for (int k = 0; k < Slot(s).ListedCount; ++k) {
            const SaverEntry& e = Slot(s).Entries[Slot(s).ListMap[k]];
            EXPECT_TRUE(ChainBytes(Slot(s), ChainOf(Slot(s), e.FirstBlock)) ==
                        original_[e.TrimmedName()])
                << where << ": " << e.TrimmedName() << " changed";
        }
    }

    TempDir dir_;
    Bytes cards_[2];
    std::map<std::string, Bytes> original_;
    MovingClock clock_;
    LinkBox* box_ = nullptr;
    std::unique_ptr<LinkPort> link_;
    Settings settings_;
    AnsweringUi ui_;
    std::unique_ptr<CardJournal> journal_;
    std::unique_ptr<CardVolume> slot_[2];
};

struct Op {
    const char* name;
    std::function<void(CutChangeTest&)> prepare;
    std::function<void(CutChangeTest&)> run;
    int card;           // the card the change is cut off on (1: slot 2)
    Names whenFinished; // slot 1 (or slot 2) listed once the change is done
};

TEST_F(CutChangeTest, EveryCutIsTakenBackOrFinishedAndTheCardChecksClean) {
    auto none = [](CutChangeTest&) {};
    auto deleteB = [](CutChangeTest& t) { DeleteSaver(t.Slot(0), t.Entry(0, "B")); };
    const Op ops[] = {
        {"delete", none, deleteB, 0, {"A", "C"}},
        {"copy",
         none,
         [](CutChangeTest& t) { CopySaver(t.Slot(1), t.Entry(1, "D"), t.Slot(0)); },
         0,
         {"A", "B", "C", "D"}},
        {"move",
         none,
         [](CutChangeTest& t) {
             if (CopySaver(t.Slot(0), t.Entry(0, "B"), t.Slot(1)))
                 DeleteSaver(t.Slot(0), t.Entry(0, "B"));
         },
         -1,
         {}},
        {"undo",
         deleteB,
         [](CutChangeTest& t) { UndoLastChange(t.Slot(0), *t.journal_); },
         0,
         {"A", "B", "C"}},
        {"recover",
         deleteB,
         [](CutChangeTest& t) { RecoverSavers(t.Slot(0), *t.journal_, "B"); },
         0,
         {"A", "B", "C"}},
        {"format", none, [](CutChangeTest& t) { t.Slot(0).FormatVolume(200); }, 0, {}},
    };
    int takenBack = 0;
    int finished = 0;
    for (const Op& op : ops) {
        for (bool finish : {false, true}) {
            bool whole = false;
            for (uint32_t n = 1; n <= 20 && !whole; ++n) {
                const std::string where = std::string(op.name) + " cut after write " +
                                          std::to_string(n) +
                                          (finish ? ", finished" : ", taken back");
                Start();
                op.prepare(*this);
                const Bytes before[2] = {ReadFileBytes(dir_.File("slot1.dcm")),
                                         ReadFileBytes(dir_.File("slot2.dcm"))};
                const Names listedBefore[2] = {Listed(0), Listed(1)};
                box_->Faults().stopAfterWrites = n;
                op.run(*this);
                whole = !box_->Faults().noBox;
                Mend();
                ui_.answer = finish;
                ui_.questions.clear();
                for (int s = 0; s < 2; ++s) {
                    const SettleOutcome settled = SettleCutChange(Slot(s), *journal_);
                    const Bytes card = ReadFileBytes(dir_.File(s == 0 ? "slot1.dcm" : "slot2.dcm"));
                    CardCheckReport report;
                    ASSERT_TRUE(CheckCard(Slot(s), report)) << where;
                    EXPECT_TRUE(report.Clean())
                        << where << " slot " << s + 1 << ": "
                        << (report.problems.empty() ? "" : report.problems[0].text);
                    ExpectSaversIntact(s, where);
                    const Names now = Listed(s);
                    const bool asBefore = std::equal(card.begin() + 241 * 512, card.end(),
                                                     before[s].begin() + 241 * 512);
                    if (settled.found && !settled.finished) {
                        EXPECT_TRUE(asBefore) << where << " slot " << s + 1;
                        EXPECT_EQ(now, listedBefore[s]) << where;
                        ++takenBack;
                    } else if (settled.found) {
                        if (op.card == s) {
                            EXPECT_EQ(now, op.whenFinished) << where;
                        }
                        ++finished;
                    }
                    // Nothing is left for a later reading to find.
                    EXPECT_FALSE(SettleCutChange(Slot(s), *journal_).found) << where;
                }
            }
            EXPECT_TRUE(whole) << op.name << " never ran whole";
        }
    }
    EXPECT_GT(takenBack, 30);
    EXPECT_GT(finished, 20);
}

} // namespace
