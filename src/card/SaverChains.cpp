#include "card/SaverChains.h"

#include "card/SaverText.h"

#include "card/CardWriteBack.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr uint16_t kFree = CardVolume::kFatFree;
constexpr uint16_t kEnd = CardVolume::kFatEnd;

} // namespace

uint8_t ChainStart(const SaverEntry& entry) {
    return entry.IsGame ? 0 : entry.FirstBlock;
}

void WalkChain(const CardVolume& volume, uint8_t start, int size, SaverChain& chain) {
    chain.count = 0;
    chain.size = size;
    chain.end = ChainEnd::Empty;
    chain.stop = 0;
    if (size <= 0)
        return;
    bool seen[CardVolume::kBlockCount] = {};
    uint16_t block = start;
    for (;;) {
        if (block >= kFirstSystemBlock) {
            chain.end = ChainEnd::IntoSystem;
            chain.stop = block;
            return;
        }
        if (seen[block]) {
            chain.end = ChainEnd::Loop;
            chain.stop = block;
            return;
        }
        seen[block] = true;
        chain.blocks[chain.count++] = static_cast<uint8_t>(block);
        const uint16_t link = volume.Fat()[block];
        chain.stop = link;
        if (chain.count == size) {
            chain.end = link == kEnd ? ChainEnd::Complete : ChainEnd::NoEndMark;
            return;
        }
        if (link == kEnd) {
            chain.end = ChainEnd::EndsEarly;
            return;
        }
        if (link == kFree) {
            chain.end = ChainEnd::MarkedFree;
            return;
        }
        if (link >= CardVolume::kBlockCount) {
            chain.end = ChainEnd::BadLink;
            return;
        }
        block = link;
    }
}

bool StartsWholeChain(const CardVolume& volume, uint8_t start, int size) {
    SaverChain chain;
    WalkChain(volume, start, size, chain);
    // Any block walks as one block: alone it counts only with its end mark.
    return chain.Whole() && (size > 1 || chain.end == ChainEnd::Complete);
}

bool TypeByteDamaged(const CardVolume& volume, const SaverEntry& entry) {
    const uint8_t start = entry.Raw[SaverEntry::kFirstBlockOffset];
    if (!entry.IsGame || start == 0 || entry.SizeBlocks == 0)
        return false;
    if (!StartsWholeChain(volume, start, entry.SizeBlocks))
        return false;
    // Block 0 is another game's when that game's entry names it.
    for (const SaverEntry& other : volume.Entries()) {
        if (&other != &entry && other.SizeBlocks > 0 && other.IsGame &&
            other.Raw[SaverEntry::kFirstBlockOffset] == 0)
            return true;
    }
    return !StartsWholeChain(volume, 0, entry.SizeBlocks);
}

uint8_t SaverChainStart(const CardVolume& volume, const SaverEntry& entry) {
    return TypeByteDamaged(volume, entry) ? entry.Raw[SaverEntry::kFirstBlockOffset]
                                          : ChainStart(entry);
}

void WalkSaverChain(const CardVolume& volume, const SaverEntry& entry, SaverChain& chain) {
    WalkChain(volume, SaverChainStart(volume, entry), entry.SizeBlocks, chain);
}

int FirstDamagedSaver(const CardVolume& volume) {
    BlockOwners owners;
    MapOwners(volume, owners);
    SaverChain chain;
    for (int i = 0; i < CardVolume::kListedEntries; ++i) {
        if (volume.Entries()[i].SizeBlocks == 0)
            continue;
        WalkSaverChain(volume, volume.Entries()[i], chain);
        if (!chain.Whole())
            return i;
        for (int k = 0; k < chain.count; ++k) {
            if (owners.Shared(chain.blocks[k]))
                return i;
        }
    }
    return -1;
}

std::string DamagedSaverText(const CardVolume& volume, int entry) {
    const SaverEntry& e = volume.Entries()[entry];
    const std::string name = SaverText(e.TrimmedName());
    SaverChain chain;
    WalkSaverChain(volume, e, chain);
    const std::string what = chain.Whole() ? "shares blocks with another saver"
                                           : "holds " + std::to_string(chain.count) + " of its " +
                                                 std::to_string(e.SizeBlocks) + " blocks";
    return "The chain of saver " + name + " " + what +
           ", so the owner of the blocks after it is unknown: no blocks are taken on this card "
           "until it is checked (\"Check card...\", or porvane-cli check).";
}

void MapOwners(const CardVolume& volume, BlockOwners& owners, int skip) {
    std::memset(owners.first, BlockOwners::kNobody, sizeof owners.first);
    std::memset(owners.second, BlockOwners::kNobody, sizeof owners.second);
    SaverChain chain;
    for (int i = 0; i < CardVolume::kListedEntries; ++i) {
        if (i == skip || volume.Entries()[i].SizeBlocks == 0)
            continue;
        WalkSaverChain(volume, volume.Entries()[i], chain);
        for (int k = 0; k < chain.count; ++k) {
            const uint8_t b = chain.blocks[k];
            if (owners.first[b] == BlockOwners::kNobody)
                owners.first[b] = static_cast<uint8_t>(i);
            else if (owners.second[b] == BlockOwners::kNobody)
                owners.second[b] = static_cast<uint8_t>(i);
        }
    }
}

bool IsAllocatable(const CardVolume& volume, const BlockOwners& owners, int block) {
    return block >= 0 && block < SaverBlockLimit(volume) && volume.Fat()[block] == kFree &&
           !owners.Owned(block);
}

bool AllocateAvoiding(CardVolume& volume, int size, bool game, const BlockOwners& owners,
                      const bool* lastResort, uint8_t& first) {
    if (size <= 0 || size >= CardVolume::kBlockCount)
        return false;
    if (game) {
        for (int b = 0; b < size; ++b) {
            if (!IsAllocatable(volume, owners, b))
                return false;
        }
        for (int b = 0; b < size - 1; ++b)
            volume.Fat()[b] = static_cast<uint16_t>(b + 1);
        volume.Fat()[size - 1] = kEnd;
        first = 0;
        return true;
    }
    // Highest first; the blocks of a saver being replaced come after all
    // others, so that a copy which fails half way leaves that saver whole
    // whenever the card has room for both. Block 0 comes last of all: a data
    // saver's entry that names block 0 reads back as an empty slot.
    uint8_t picked[CardVolume::kBlockCount];
    int n = 0;
    for (int tier = 0; tier < 2 && n < size; ++tier) {
        const bool wantReserved = tier == 1;
        for (int b = SaverBlockLimit(volume) - 1; b >= 1 && n < size; --b) {
            const bool reserved = lastResort != nullptr && lastResort[b];
            if (reserved == wantReserved && IsAllocatable(volume, owners, b))
                picked[n++] = static_cast<uint8_t>(b);
        }
    }
    if (n < size && n > 0 && IsAllocatable(volume, owners, 0))
        picked[n++] = 0;
    if (n < size)
        return false;
    for (int k = 0; k < size; ++k)
        volume.Fat()[picked[k]] = k + 1 < size ? picked[k + 1] : kEnd;
    first = picked[0];
    return true;
}

void WalkDirectory(const CardVolume& volume, DirectoryChain& chain) {
    chain.count = 0;
    chain.sound = false;
    uint16_t block = CardVolume::kDirFirstBlock;
    // The same steps as the directory's own walk: a free mark at the start
    // means no directory; any other value but the end mark is a link by its
    // low byte.
    if (volume.Fat()[block] == kFree)
        return;
    bool seen[CardVolume::kBlockCount] = {};
    bool inside = true;
    while (chain.count < CardVolume::kMaxDirBlocks && !seen[block]) {
        seen[block] = true;
        chain.blocks[chain.count++] = static_cast<uint8_t>(block);
        inside =
            inside && block >= CardVolume::kDirLastBlock && block <= CardVolume::kDirFirstBlock;
        const uint16_t link = volume.Fat()[block];
        if (link == kEnd) {
            chain.sound = inside;
            return;
        }
        block = link & 0xFF;
    }
}
