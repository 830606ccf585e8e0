#pragma once

#include "card/JournalFile.h"

#include <functional>

// The system blocks (241-255) of a card as one piece: read whole, encoded
// from a table and entries, and written over what the card holds in an order
// that never leaves an entry whose blocks are free.

// Reads blocks 241-255 in card order; false when one could not be read.
bool ReadSystemBlocks(CardVolume& volume, BlockBytes (&out)[kSystemBlocks]);

// The table as block 254 holds it, card order.
void EncodeFat(const uint16_t* fat, uint8_t* out512);
// Directory block k (block 253 - k) of the entries, card order.
void EncodeDirectory(const uint8_t (*entries)[SaverEntry::kSize], int k, uint8_t* out512);
// Index into a system block array of directory block k.
int DirectoryIndex(int k);
constexpr int kFatIndex = CardVolume::kFatBlock - CardVolume::kDirLastBlock;
constexpr int kRootIndex = CardVolume::kRootBlock - CardVolume::kDirLastBlock;

// Writes target over current: a table that holds both states' chains, the
// directory and root, and last the target table. The volume's recorder is
// told the target first; beforeEach, when given, hears of every block just
// before it is written. False at the first write that fails.
bool WriteSystemState(CardVolume& volume, const BlockBytes (&current)[kSystemBlocks],
                      const BlockBytes (&target)[kSystemBlocks],
                      const std::function<void(uint8_t, const uint8_t*)>& beforeEach = {});
