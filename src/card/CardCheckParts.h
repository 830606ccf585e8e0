#pragma once

// What the card check and the card repair share; not for other callers.

#include "card/CardCheck.h"
#include "card/SaverChains.h"

#include <cstdint>
#include <string>

namespace cardcheck {

// The layout every card this program formats has.
inline constexpr int kRootFatBlock = 0x46;
inline constexpr int kRootFatLength = 0x48;
inline constexpr int kRootDirBlock = 0x4A;
inline constexpr int kRootDirLength = 0x4C;
inline constexpr uint16_t kLayout[4] = {CardVolume::kFatBlock, 1, CardVolume::kDirFirstBlock,
                                        CardVolume::kDirBlocks};
inline constexpr int kLayoutOffsets[4] = {kRootFatBlock, kRootFatLength, kRootDirBlock,
                                          kRootDirLength};

uint16_t RootWord(const CardVolume& volume, int offset);
void SetRootWord(CardVolume& volume, int offset, uint16_t value);

// The table value block b has on a freshly formatted card, for b >= 241.
uint16_t SystemLink(int block);
// The first system block whose table value is not that, or -1.
int FirstDamagedSystemBlock(const CardVolume& volume);

// "NAME (entry 3)", the name without trailing blanks and NULs, unprintable
// bytes as dots.
std::string SaverLabel(const CardVolume& volume, int entry);

// Whether a saver reaches a block that another saver reaches too.
bool ChainShared(const SaverChain& chain, const BlockOwners& owners);

// The highest block the chain of a listed saver reaches, or -1; only whole
// chains that share no block count, so that damage never moves the root.
int HighestSaverBlock(const CardVolume& volume, int& entry);

// Allocated blocks below the system blocks that no saver reaches; up to
// max of them into out (may be null). Returns the count.
int LeakedBlocks(const CardVolume& volume, const BlockOwners& owners, int* out, int max);

} // namespace cardcheck
