#pragma once

#include "card/CardLayout.h"
#include "card/ListingCopy.h"

#include <cstdint>

class CardTables;
class CardVolume;

// What a card view lists of a card: the directory index of every saver shown
// (ListMap, view position to entry, 0xFF = none), how many there are
// (ListedCount) and the blocks left free (FreeBlocks), with the system blocks
// the listing was read from (Copy, card/SameCard.h).
class CardListing {
  public:
    using ListMapTable = uint8_t[CardLayout::kEntryCount];

    const ListMapTable& ListMap() const { return listMap_; }
    uint8_t ListedCount() const { return listedCount_; }
    void SetListedCount(uint8_t count) { listedCount_ = count; }
    uint8_t FreeBlocks() const { return freeBlocks_; }
    void SetFreeBlocks(uint8_t blocks) { freeBlocks_ = blocks; }
    ListingCopy& Copy() { return copy_; }
    const ListingCopy& Copy() const { return copy_; }

    // Every saver of entries 0..207 in directory order, empty entries
    // skipped; FreeBlocks is the user block count less the listed sizes,
    // floored at 0 so that an inconsistent directory cannot wrap it round.
    void List(const CardTables& tables);
    // Nothing listed, no block free.
    void Clear();

  private:
    ListMapTable listMap_ = {};
    uint8_t listedCount_ = 0;
    uint8_t freeBlocks_ = 0;
    ListingCopy copy_;
};

// The listing a card view shows (CardListing::List over the volume's tables).
void ListSavers(CardVolume& volume);

// An erased card lists nothing: no entry shown, no block free.
void ClearListing(CardVolume& volume);
