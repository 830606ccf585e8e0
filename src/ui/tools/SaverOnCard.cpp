#include "ui/tools/SaverOnCard.h"

#include "card/CardVolume.h"
#include "card/SaverChains.h"

#include <cstring>

bool SaverStillOnCard(CardVolume& volume, int entry) {
    if (entry < 0 || entry >= CardVolume::kListedEntries)
        return false;
    const SaverEntry& saver = volume.Entries[entry];
    DirectoryChain directory;
    WalkDirectory(volume, directory);
    if (!directory.Holds(entry))
        return false;

    uint8_t block[CardVolume::kBlockSize];
    const int place = entry / CardVolume::kEntriesPerBlock;
    if (!volume.ReadRawBlock(volume.Device, directory.blocks[place], block))
        return false;
    SwapWords(block);
    const int offset = (entry % CardVolume::kEntriesPerBlock) * SaverEntry::kSize;
    if (std::memcmp(block + offset, saver.Raw, SaverEntry::kSize) != 0)
        return false;

    if (!volume.ReadRawBlock(volume.Device, CardVolume::kFatBlock, block))
        return false;
    SwapWords(block);
    SaverChain chain;
    WalkSaverChain(volume, saver, chain);
    for (int k = 0; k < chain.count; ++k) {
        const int b = chain.blocks[k];
        const auto onCard = static_cast<uint16_t>(block[2 * b] | block[2 * b + 1] << 8);
        if (onCard != volume.Fat[b])
            return false;
    }
    return true;
}
