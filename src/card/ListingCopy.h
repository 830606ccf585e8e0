#pragma once

#include <cstdint>

// The system blocks (directory 241-253, table 254, root 255) as the card
// held them when its listing was read, in natural byte order, and as this
// program has written them since. Every command that writes reads them again
// first (card/SameCard.h): a card swapped in the slot, or an image another
// program changed, then shows a difference and gets nothing written by a
// table and directory that belong to another card.
class ListingCopy {
  public:
    static constexpr int kFirstBlock = 241;
    static constexpr int kBlocks = 15;
    static constexpr int kBlockSize = 512;

    // A new listing is being read: nothing is known of the card yet.
    void Forget();
    // The block's contents, read for the listing or written by us.
    void Keep(uint8_t block, const uint8_t* natural512);
    // A write of the block failed: what the card holds there is unknown,
    // and no later command may trust the listing until it is read again.
    void Lose(uint8_t block);

    bool Kept(uint8_t block) const;
    const uint8_t* Data(uint8_t block) const;
    bool Doubtful() const { return doubtful_; }

    // Set when a comparison found another card, or a card in doubt: the
    // view must read it again. Cleared by a new listing.
    bool changed = false;

  private:
    static bool System(uint8_t block) { return block >= kFirstBlock; }
    uint8_t data_[kBlocks][kBlockSize] = {};
    bool kept_[kBlocks] = {};
    bool doubtful_ = false;
};
