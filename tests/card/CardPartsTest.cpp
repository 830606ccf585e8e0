// The volume's parts on their own: the places' numbers, and a listing made
// from tables that no block store ever read.
#include "card/CardListing.h"
#include "card/CardPlace.h"
#include "card/CardTables.h"

#include "card/support/CardTestSupport.h"

#include <gtest/gtest.h>

#include <memory>

using namespace cardtest;

// Drag data and the link's slot numbers carry a place as its number: the
// order may never change.
TEST(CardPlace, NumbersAreTheDeviceNumbers) {
    const struct {
        int device;
        bool known;
        CardPlace place;
        bool slot;
    } cases[] = {
        {-1, false, CardPlace::Slot1, false}, {0, true, CardPlace::Slot1, true},
        {1, true, CardPlace::Slot2, true},    {2, true, CardPlace::Image, false},
        {3, false, CardPlace::Slot1, false},
    };
    for (const auto& c : cases) {
        CardPlace place = CardPlace::Slot1;
        EXPECT_EQ(PlaceOfDevice(c.device, place), c.known) << c.device;
        if (!c.known)
            continue;
        EXPECT_EQ(place, c.place) << c.device;
        EXPECT_EQ(PlaceIndex(place), c.device);
        EXPECT_EQ(IsSlot(place), c.slot) << c.device;
    }
}

TEST(CardListing, ListsTheTablesEntriesAndFloorsTheFreeCount) {
    auto tables = std::make_unique<CardTables>();
    tables->Root()[CardLayout::kUserBlocksOffset] = 10;
    tables->Entries()[2].SizeBlocks = 3;
    tables->Entries()[5].SizeBlocks = 4;
    // Beyond the entries a view shows.
    tables->Entries()[CardLayout::kListedEntries].SizeBlocks = 1;

    CardListing listing;
    listing.List(*tables);
    EXPECT_EQ(listing.ListedCount(), 2);
    EXPECT_EQ(listing.ListMap()[0], 2);
    EXPECT_EQ(listing.ListMap()[1], 5);
    EXPECT_EQ(listing.ListMap()[2], 0xFF);
    EXPECT_EQ(listing.FreeBlocks(), 3);

    // More listed than the card has: no block free, not 250 of them.
    tables->Entries()[6].SizeBlocks = 9;
    listing.List(*tables);
    EXPECT_EQ(listing.ListedCount(), 3);
    EXPECT_EQ(listing.FreeBlocks(), 0);

    listing.Clear();
    EXPECT_EQ(listing.ListedCount(), 0);
    EXPECT_EQ(listing.ListMap()[0], 0xFF);
}
