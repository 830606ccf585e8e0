#pragma once

#include <cstddef>
#include <cstdint>

// A memory card as it lies on the card: 256 blocks of 512 bytes; the system
// blocks at the top (root 255, table 254, directory 253 down to 241); the
// table's values. The volume and each of its parts share these.
struct CardLayout {
    static constexpr int kBlockSize = 512;
    static constexpr int kBlockCount = 256;
    static constexpr long kCardBytes = 131072;
    static constexpr uint8_t kRootBlock = 255;
    static constexpr uint8_t kFatBlock = 254;
    static constexpr uint8_t kDirFirstBlock = 253;
    static constexpr uint8_t kDirLastBlock = 241;
    static constexpr int kDirBlocks = 13;
    static constexpr int kMaxDirBlocks = 14; // a walk stops after this many blocks
    // The directory's own blocks: a link out of them leads into saver data
    // (or the table and root), never to more entries.
    static constexpr bool IsDirectoryBlock(int block) {
        return block >= kDirLastBlock && block <= kDirFirstBlock;
    }
    static constexpr int kEntriesPerBlock = 16;
    static constexpr int kEntryCount = 209;        // places in Entries
    static constexpr int kListedEntries = 208;     // entries the main window uses
    static constexpr int kUserBlocksOffset = 0x50; // in Root
    static constexpr int kWorkAreaSize = 16384;

    // FAT values.
    static constexpr uint16_t kFatFree = 0xFFFC;
    static constexpr uint16_t kFatEnd = 0xFFFA;
    static constexpr uint16_t kFatBlank = 0xFFFF; // unformatted card
    static constexpr uint8_t kChainEnd = 0xFF;    // ChainNext: no more blocks
};

// One block's bytes.
using BlockBytes = uint8_t[CardLayout::kBlockSize];

// Reverses every aligned group of four bytes: converts a block between card
// order (as the link and image files carry it) and natural order (as the file
// system reads it). Its own inverse.
void SwapWords(uint8_t* block512);
// The same over any number of whole 4-byte groups (bytes rounded down to 4).
void SwapWords(uint8_t* data, size_t bytes);
