#include "card/SaverOnCard.h"

#include "card/CardVolume.h"
#include "card/SameCard.h"
#include "card/SaverChains.h"

bool SaverStillOnCard(CardVolume& volume, int entry, SaverCheck check) {
    if (entry < 0 || entry >= CardVolume::kListedEntries || volume.Entries()[entry].SizeBlocks == 0)
        return false;
    DirectoryChain directory;
    WalkDirectory(volume, directory);
    if (!directory.Holds(entry))
        return false;
    // The listing the saver was taken from is what the card still holds:
    // its entry and its chain with it.
    if (check == SaverCheck::Full)
        return CompareWithListing(volume) == ListingMatch::Same;
    const uint8_t blocks[] = {CardVolume::kRootBlock, CardVolume::kFatBlock,
                              directory.blocks[entry / CardVolume::kEntriesPerBlock]};
    return CompareBlocksWithListing(volume, blocks, 3) == ListingMatch::Same;
}

bool WriteBackTouchesOnlySaver(const CardVolume& volume, int entry) {
    if (entry < 0 || entry >= CardVolume::kListedEntries || volume.Entries()[entry].SizeBlocks == 0)
        return false;
    DirectoryChain directory;
    WalkDirectory(volume, directory);
    if (!directory.sound || !directory.Holds(entry))
        return false;
    SaverChain chain;
    WalkSaverChain(volume, volume.Entries()[entry], chain);
    BlockOwners others;
    MapOwners(volume, others, entry);
    for (int k = 0; k < chain.count; ++k) {
        if (others.Owned(chain.blocks[k]))
            return false;
    }
    return true;
}
