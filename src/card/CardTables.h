#pragma once

#include "card/CardLayout.h"
#include "card/SaverEntry.h"

#include <cstdint>

// The file system of one card as read into memory, in natural order: the
// root block, the allocation table (Fat), the decoded directory entries, the
// work block their transfers go through, and the cursor of a chain walk. The
// volume reads and writes them (CardVolume::ReadRoot, ReadFat, ...); nothing
// here moves a block.
class CardTables : public CardLayout {
  public:
    using FatTable = uint16_t[kBlockCount];
    using EntryTable = SaverEntry[kEntryCount];

    BlockBytes& Root() { return root_; }
    const BlockBytes& Root() const { return root_; }
    FatTable& Fat() { return fat_; }
    const FatTable& Fat() const { return fat_; }
    EntryTable& Entries() { return entries_; }
    const EntryTable& Entries() const { return entries_; }
    // Work block for table and directory transfers.
    BlockBytes& Block() { return block_; }
    const BlockBytes& Block() const { return block_; }
    // Set by the last root or table transfer: true when it failed.
    bool IoError() const { return ioError_; }
    void SetIoError(bool failed) { ioError_ = failed; }

    // Chain walk over table links; ChainNext is the block the next step
    // returns, kChainEnd for none.
    uint8_t ChainNext() const { return chainNext_; }
    void SetChainNext(uint8_t block) { chainNext_ = block; }
    bool StartChain(uint8_t& block);
    bool NextInChain(uint8_t& block);
    // Up to maxBlocks blocks of the chain from first (first included), in
    // order; stops at the end mark or at a block already listed, so a looped
    // chain ends. Returns the count (0 when first is a free block).
    int CollectChain(uint8_t first, uint8_t* out, int maxBlocks) const;

    // The table from block 254 in natural order, and back.
    void FatFromBlock(const uint8_t* natural512);
    void FatToBlock(uint8_t* natural512) const;
    // Rebuilds the root, table and directory chains in Fat.
    void RepairSystemChains();
    // Fat[0] or Fat[1] reading 0xFFFF marks a card that was never formatted.
    bool IsFormatted() const { return fat_[0] != kFatBlank && fat_[1] != kFatBlank; }
    uint8_t UserBlocks() const { return root_[kUserBlocksOffset]; }

  private:
    // The next block after block, or kChainEnd.
    uint8_t LinkOf(uint8_t block) const;

    BlockBytes root_ = {};
    EntryTable entries_;
    FatTable fat_ = {};
    BlockBytes block_ = {};
    uint8_t chainNext_ = kChainEnd;
    bool ioError_ = false;
};
