// Writes go only onto the card that was listed.
#include "card/SameCard.h"
#include "card/CardImage.h"
#include "card/ReplaceSaver.h"
#include "card/TransferEngine.h"
#include "card/support/EngineSupport.h"

#include <gtest/gtest.h>

using namespace engine_test;

TEST(SameCard, NoWriteLandsOnAnotherCardThanTheListedOne) {
    TempDir dir;
    RecordingFeedback ui;
    CardVolume card, other, source;
    card.Store().SetFeedback(&ui);
    ASSERT_TRUE(MakeImage(card, dir.File("card.dcm")));
    PlaceSaver(card, 0, Name12("LISTED"), 0x33, {199, 198}, 1);
    ASSERT_TRUE(MakeImage(other, dir.File("other.dcm")));
    PlaceSaver(other, 0, Name12("FOREIGN"), 0x33, {199, 198, 197}, 3);
    PlaceSaver(other, 1, Name12("KEEPME"), 0x33, {196}, 4);
    ASSERT_TRUE(MakeImage(source, dir.File("source.dcm")));
    PlaceSaver(source, 0, Name12("COPIED"), 0x33, {199}, 6);
    const std::string dci = dir.File("new.dci");
    WriteFileBytes(dci, MakeDciBytes(0x33, 0, 0, "NEWONE", 1, 5));

    // Another card where the listed one was.
    const auto swapped = ReadFileBytes(dir.File("other.dcm"));
    WriteFileBytes(dir.File("card.dcm"), swapped);
    EXPECT_FALSE(DeleteSaver(card, 0));
    EXPECT_EQ(ReplaceSaverByImport(dci, card, -1).outcome, SaverOutcome::CardChanged);
    EXPECT_EQ(ReplaceSaverByCopy(source, 0, card, -1).outcome, SaverOutcome::CardChanged);
    EXPECT_FALSE(card.FormatVolume(200));
    EXPECT_FALSE(UploadCardImage(dir.File("source.dcm"), card));
    EXPECT_TRUE(ReadFileBytes(dir.File("card.dcm")) == swapped);
    EXPECT_TRUE(card.Listing().Copy().changed);
    ASSERT_FALSE(ui.warnings.empty());
    EXPECT_EQ(ui.warnings[0], "The card image " + dir.File("card.dcm") +
                                  " changed since it was read; nothing was written.");

    // Read again, it is the listed card; our own writes keep it so.
    ASSERT_TRUE(LoadVolume(card));
    EXPECT_TRUE(DeleteSaver(card, EntryNamed(card, Name12("FOREIGN"))));
    EXPECT_TRUE(ReplaceSaverByImport(dci, card, -1).Done());
    EXPECT_EQ(EntryNamed(card, Name12("KEEPME")), 1);
    // A source card swapped since it was listed gives nothing.
    WriteFileBytes(dir.File("source.dcm"), swapped);
    EXPECT_EQ(ReplaceSaverByCopy(source, 0, card, -1).outcome, SaverOutcome::CardChanged);

    // After a failed write of ours the card is read again before the next.
    card.Store().SetImageReadOnly(true);
    EXPECT_FALSE(card.WriteFat());
    card.Store().SetImageReadOnly(false);
    EXPECT_EQ(CompareWithListing(card), ListingMatch::Doubtful);
    ASSERT_TRUE(LoadVolume(card));
    EXPECT_EQ(CompareWithListing(card), ListingMatch::Same);
}
