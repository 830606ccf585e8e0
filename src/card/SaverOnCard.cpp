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
