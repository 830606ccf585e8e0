#pragma once

#include "card/CardVolume.h"

#include <cstdint>

// Who uses each of a card's 256 blocks, as the card check sees it: for a
// picture of the card. Works on the in-memory Root, Fat and Entries (after
// CheckCard or a listing); reads nothing.
struct CardBlockMap {
    enum class Use : uint8_t {
        Free,    // marked free, inside the saver area, reached by no saver
        Saver,   // one saver's, whose chain is whole and shared with none
        Damaged, // a broken or shared chain's, or allocated and nobody's
        System,  // the directory, the table and the root (241-255)
        Outside, // beyond the root's user-block count, reached by no saver
    };
    static constexpr uint8_t kNoEntry = 0xFF;
    Use use[CardVolume::kBlockCount] = {};
    // The directory index of the saver reaching the block, or kNoEntry.
    uint8_t entry[CardVolume::kBlockCount] = {};
    // Blocks of each use, indexed by Use.
    int count[5] = {};
};

void MapCardBlocks(const CardVolume& volume, CardBlockMap& map);
