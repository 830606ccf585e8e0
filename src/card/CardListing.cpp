#include "card/CardListing.h"

#include "card/CardVolume.h"

#include <cstring>

void CardListing::List(const CardTables& tables) {
    std::memset(listMap_, 0xFF, sizeof listMap_);
    int free = tables.UserBlocks();
    int listed = 0;
    for (int i = 0; i < CardLayout::kListedEntries; ++i) {
        const SaverEntry& e = tables.Entries()[i];
        if (e.SizeBlocks == 0)
            continue;
        listMap_[listed++] = static_cast<uint8_t>(i);
        free -= e.SizeBlocks;
    }
    listedCount_ = static_cast<uint8_t>(listed);
    freeBlocks_ = static_cast<uint8_t>(free < 0 ? 0 : free);
}

void CardListing::Clear() {
    std::memset(listMap_, 0xFF, sizeof listMap_);
    listedCount_ = 0;
    freeBlocks_ = 0;
}

void ListSavers(CardVolume& volume) {
    volume.Listing().List(volume.Tables());
}

void ClearListing(CardVolume& volume) {
    volume.Listing().Clear();
}
