#include "card/CardListing.h"

#include <cstring>

void ListSavers(CardVolume& volume) {
    std::memset(volume.ListMap, 0xFF, sizeof volume.ListMap);
    int free = volume.UserBlocks();
    int listed = 0;
    for (int i = 0; i < CardVolume::kListedEntries; ++i) {
        const SaverEntry& e = volume.Entries[i];
        if (e.SizeBlocks == 0)
            continue;
        volume.ListMap[listed++] = static_cast<uint8_t>(i);
        free -= e.SizeBlocks;
    }
    volume.ListedCount = static_cast<uint8_t>(listed);
    volume.FreeBlocks = static_cast<uint8_t>(free < 0 ? 0 : free);
}

void ClearListing(CardVolume& volume) {
    std::memset(volume.ListMap, 0xFF, sizeof volume.ListMap);
    volume.ListedCount = 0;
    volume.FreeBlocks = 0;
}
