#include "card/CardBlockMap.h"

#include "card/CardWriteBack.h"
#include "card/SaverChains.h"

void MapCardBlocks(const CardVolume& volume, CardBlockMap& map) {
    using Use = CardBlockMap::Use;
    BlockOwners owners;
    MapOwners(volume, owners);
    // Savers whose chain breaks or is shared: their blocks are all damaged.
    bool damaged[CardVolume::kEntryCount] = {};
    SaverChain chain;
    for (int i = 0; i < CardVolume::kListedEntries; ++i) {
        if (volume.Entries()[i].SizeBlocks == 0)
            continue;
        WalkSaverChain(volume, volume.Entries()[i], chain);
        damaged[i] = !chain.Whole();
        for (int k = 0; k < chain.count; ++k)
            damaged[i] = damaged[i] || owners.Shared(chain.blocks[k]);
    }
    const int limit = SaverBlockLimit(volume);
    for (int& c : map.count)
        c = 0;
    for (int b = 0; b < CardVolume::kBlockCount; ++b) {
        map.entry[b] = owners.first[b];
        Use use = Use::Free;
        if (b >= kFirstSystemBlock)
            use = Use::System;
        else if (owners.Owned(b))
            use = damaged[owners.first[b]] ? Use::Damaged : Use::Saver;
        else if (volume.Fat()[b] != CardVolume::kFatFree)
            use = Use::Damaged;
        else if (b >= limit)
            use = Use::Outside;
        map.use[b] = use;
        ++map.count[static_cast<int>(use)];
    }
}
