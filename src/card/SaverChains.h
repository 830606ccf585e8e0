#pragma once

#include "card/CardVolume.h"

#include <cstdint>
#include <string>

// The one way every reader and writer of a saver's blocks walks its chain,
// which blocks the listed savers own, and where a new chain may go. All of it
// works on the in-memory Fat and Entries; nothing here moves a block.

// Blocks 241 and up hold the directory, the table and the root: no saver's
// chain ever reaches them, whatever the root's user-block count says.
inline constexpr int kFirstSystemBlock = CardVolume::kDirLastBlock;

// How a walk over a saver's chain ended.
enum class ChainEnd : uint8_t {
    Empty,      // size 0: nothing to walk
    Complete,   // size blocks, the last one carrying the end mark
    NoEndMark,  // size blocks, but the last one links on (or is marked free)
    EndsEarly,  // the end mark before size blocks
    MarkedFree, // a block reached by the chain is marked free in the table
    BadLink,    // a link that is neither a block number nor a marker
    IntoSystem, // the first block, or a link, is a system block (241-255)
    Loop,       // back to a block already walked, before size blocks
};

// The blocks of one saver, in chain order, at most its size.
struct SaverChain {
    uint8_t blocks[CardVolume::kBlockCount] = {};
    int count = 0;
    int size = 0;
    ChainEnd end = ChainEnd::Empty;
    // The table value that ended the walk (or the block, for IntoSystem and
    // Loop), for messages.
    uint16_t stop = 0;

    // Every one of the saver's blocks is reachable.
    bool Whole() const { return size > 0 && count == size; }
    uint8_t Last() const { return count > 0 ? blocks[count - 1] : 0; }
};

// Where a saver's chain starts: block 0 for a game, else its first block.
uint8_t ChainStart(const SaverEntry& entry);
// The same on the card: a "game" whose type byte is damaged (see below)
// starts where its entry's byte 2 says.
uint8_t SaverChainStart(const CardVolume& volume, const SaverEntry& entry);

// Whether a whole chain of size blocks starts at start: size blocks linked
// one to the next; a single block only when it carries the end mark.
bool StartsWholeChain(const CardVolume& volume, uint8_t start, int size);

// A data saver whose type byte became a game's (0xCC): byte 2 starts a whole
// chain of the saver's size, while block 0 is not the saver's (no such chain
// starts there, or another game's entry names it). Its real chain is the one
// from byte 2; walking it from block 0 would lose it (and hand its blocks
// out as free).
bool TypeByteDamaged(const CardVolume& volume, const SaverEntry& entry);

// Walks size blocks from start: stops at the end mark, a free mark, a damaged
// link, a system block, a loop, or after size blocks, whichever comes first.
void WalkChain(const CardVolume& volume, uint8_t start, int size, SaverChain& chain);
// The same for a directory entry (its size and start as SaverChainStart).
void WalkSaverChain(const CardVolume& volume, const SaverEntry& entry, SaverChain& chain);

// Which listed savers (entries 0..207 with a size) reach each block.
struct BlockOwners {
    static constexpr uint8_t kNobody = 0xFF;
    uint8_t first[CardVolume::kBlockCount];  // lowest directory index reaching it
    uint8_t second[CardVolume::kBlockCount]; // another one, when two do
    bool Owned(int block) const { return first[block] != kNobody; }
    bool Shared(int block) const { return second[block] != kNobody; }
};
// skip (when >= 0) is left out, as for a saver about to be deleted.
void MapOwners(const CardVolume& volume, BlockOwners& owners, int skip = -1);

// The first listed saver whose chain holds fewer blocks than its size, or
// shares a block with another saver, or -1. While there is one, the owner of
// the blocks after its break is unknown: nothing may be allocated.
int FirstDamagedSaver(const CardVolume& volume);
// The sentence that refuses an allocation because of that saver.
std::string DamagedSaverText(const CardVolume& volume, int entry);

// A block a new chain may take: inside the saver area (below the user-block
// count and the system blocks), marked free and reached by no listed saver.
bool IsAllocatable(const CardVolume& volume, const BlockOwners& owners, int block);

// Builds a chain of size blocks in Fat from allocatable blocks. A data saver
// runs down through the highest of them, taking blocks marked in lastResort
// (may be null) only when the others do not suffice, and never starts at
// block 0; a game takes blocks 0..size-1, which must all be allocatable.
// False with Fat unchanged when the chain cannot be built whole.
bool AllocateAvoiding(CardVolume& volume, int size, bool game, const BlockOwners& owners,
                      const bool* lastResort, uint8_t& first);

// The directory chain from block 253, as ReadDirectory and WriteDirectory
// walk it (at most 14 blocks, never a block twice).
struct DirectoryChain {
    uint8_t blocks[CardVolume::kMaxDirBlocks] = {};
    int count = 0;
    // Only directory blocks (241-253), ending with the end mark: writing
    // through it touches nothing else.
    bool sound = false;
    // Whether the chain holds the block of directory entry index.
    bool Holds(int index) const {
        return index >= 0 && index / CardVolume::kEntriesPerBlock < count;
    }
};
void WalkDirectory(const CardVolume& volume, DirectoryChain& chain);
