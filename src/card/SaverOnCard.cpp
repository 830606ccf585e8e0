#include "card/SaverOnCard.h"

#include "card/CardVolume.h"
#include "card/SameCard.h"
#include "card/SaverChains.h"

bool SaverStillOnCard(CardVolume& volume, int entry) {
    if (entry < 0 || entry >= CardVolume::kListedEntries || volume.Entries[entry].SizeBlocks == 0)
        return false;
    DirectoryChain directory;
    WalkDirectory(volume, directory);
    if (!directory.Holds(entry))
        return false;
    // The listing the saver was taken from is what the card still holds:
    // its entry and its chain with it.
    return CompareWithListing(volume) == ListingMatch::Same;
}
