// Writes go only onto the card that was listed, and one command at a time
// holds an image.
#include "card/SameCard.h"
#include "card/CardImage.h"
#include "card/ImageLock.h"
#include "card/ReplaceSaver.h"
#include "card/TransferEngine.h"
#include "card/engine_support/EngineSupport.h"

#include <gtest/gtest.h>

#include <memory>

using namespace engine_test;

namespace {

class SameCard : public ::testing::Test {
  protected:
    void SetUp() override {
        card_ = std::make_unique<CardVolume>();
        other_ = std::make_unique<CardVolume>();
        card_->Ui = &ui_;
        ASSERT_TRUE(MakeImage(*card_, Path("card.dcm")));
        PlaceSaver(*card_, 0, Name12("LISTED"), 0x33, {199, 198}, 1);
        PlaceSaver(*card_, 1, Name12("SECOND"), 0x33, {197}, 2);
        ASSERT_TRUE(MakeImage(*other_, Path("other.dcm")));
        PlaceSaver(*other_, 0, Name12("FOREIGN"), 0x33, {199, 198, 197}, 3);
        PlaceSaver(*other_, 1, Name12("KEEPME"), 0x33, {196}, 4);
        other_->CloseImage();
    }
    std::string Path(const std::string& name) const { return dir_.File(name); }
    // Another card where the listed one was: the slot's card swapped.
    void SwapCard() { WriteFileBytes(Path("card.dcm"), ReadFileBytes(Path("other.dcm"))); }

    TempDir dir_;
    RecordingUi ui_;
    std::unique_ptr<CardVolume> card_;
    std::unique_ptr<CardVolume> other_;
};

TEST_F(SameCard, NoWriteLandsOnAnotherCardThanTheListedOne) {
    const std::string dci = Path("new.dci");
    WriteFileBytes(dci, MakeDciBytes(0x33, 0, 0, "NEWONE", 1, 5));
    auto source = std::make_unique<CardVolume>();
    ASSERT_TRUE(MakeImage(*source, Path("source.dcm")));
    PlaceSaver(*source, 0, Name12("COPIED"), 0x33, {199}, 6);

    SwapCard();
    const auto swapped = ReadFileBytes(Path("card.dcm"));
    EXPECT_FALSE(DeleteSaver(*card_, 0));
    EXPECT_EQ(ReplaceSaverByImport(dci, *card_, -1).outcome, SaverOutcome::CardChanged);
    EXPECT_EQ(ReplaceSaverByCopy(*source, 0, *card_, 1).outcome, SaverOutcome::CardChanged);
    EXPECT_FALSE(card_->FormatVolume(200));
    EXPECT_FALSE(UploadCardImage(Path("source.dcm"), *card_));
    EXPECT_TRUE(ReadFileBytes(Path("card.dcm")) == swapped);
    EXPECT_TRUE(card_->Listed.changed);
    ASSERT_FALSE(ui_.warnings.empty());
    EXPECT_EQ(ui_.warnings[0], "The card image " + Path("card.dcm") +
                                   " changed since it was read; nothing was written.");

    // Read again, the card is the listed one; our own writes keep it so.
    ASSERT_TRUE(LoadVolume(*card_));
    EXPECT_FALSE(card_->Listed.changed);
    EXPECT_TRUE(DeleteSaver(*card_, EntryNamed(*card_, Name12("FOREIGN"))));
    EXPECT_TRUE(ReplaceSaverByImport(dci, *card_, -1).Done());
    EXPECT_EQ(EntryNamed(*card_, Name12("KEEPME")), 1);

    // A copy from a source card that was swapped carries nothing.
    WriteFileBytes(Path("source.dcm"), ReadFileBytes(Path("other.dcm")));
    EXPECT_EQ(ReplaceSaverByCopy(*source, 0, *card_, -1).outcome, SaverOutcome::CardChanged);
}

TEST_F(SameCard, AFailedTableWriteLeavesTheListingInDoubt) {
    // A write of ours that failed leaves the card unknown: the next command
    // is refused until the card is read again.
    card_->ImageReadOnly = true;
    EXPECT_FALSE(card_->WriteFat());
    card_->ImageReadOnly = false;
    EXPECT_EQ(CompareWithListing(*card_), ListingMatch::Doubtful);
    ASSERT_TRUE(LoadVolume(*card_));
    EXPECT_EQ(CompareWithListing(*card_), ListingMatch::Same);
}

TEST_F(SameCard, ASecondWriterWaitsThenIsRefused) {
    auto second = std::make_unique<CardVolume>();
    second->Device = CardVolume::kImage;
    ASSERT_TRUE(second->OpenImage(Path("card.dcm")));
    ASSERT_TRUE(LoadVolume(*second));
    ASSERT_TRUE(LockImage(*card_, true));
    const auto before = ReadFileBytes(Path("card.dcm"));
    EXPECT_FALSE(LockImage(*second, false, 50));
    EXPECT_EQ(ListingMatchText(*second, ListingMatch::Busy),
              "The card image " + Path("card.dcm") +
                  " is in use by another program; nothing was changed. Try again when it is done.");
    // The first writer is done: the second one goes ahead, on a card that
    // the first one did not change.
    UnlockImage(*card_);
    EXPECT_TRUE(DeleteSaver(*second, 1));
    EXPECT_FALSE(ReadFileBytes(Path("card.dcm")) == before);
    EXPECT_FALSE(LockImage(*card_, true, 50));
}

} // namespace
