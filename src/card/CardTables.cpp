#include "card/CardTables.h"

uint8_t CardTables::LinkOf(uint8_t block) const {
    // Only the low byte of a link counts, so the walk can never leave Fat.
    return fat_[block] == kFatEnd ? kChainEnd : static_cast<uint8_t>(fat_[block] & 0xFF);
}

bool CardTables::StartChain(uint8_t& block) {
    if (fat_[block] == kFatFree)
        return false;
    chainNext_ = LinkOf(block);
    return true;
}

bool CardTables::NextInChain(uint8_t& block) {
    if (chainNext_ == kChainEnd)
        return false;
    block = chainNext_;
    chainNext_ = LinkOf(block);
    return true;
}

int CardTables::CollectChain(uint8_t first, uint8_t* out, int maxBlocks) const {
    if (fat_[first] == kFatFree || maxBlocks <= 0)
        return 0;
    bool seen[kBlockCount] = {};
    uint8_t block = first;
    int count = 0;
    while (count < maxBlocks && !seen[block]) {
        seen[block] = true;
        out[count++] = block;
        // A damaged link (a marker other than the end, or 256 and above) ends
        // the chain instead of leading into some other block; 255, the root,
        // is the walk's own end mark.
        const uint16_t link = fat_[block];
        if (link >= kBlockCount || link == kChainEnd)
            break;
        block = static_cast<uint8_t>(link);
    }
    return count;
}

void CardTables::FatFromBlock(const uint8_t* natural512) {
    for (int i = 0; i < kBlockCount; ++i)
        fat_[i] = static_cast<uint16_t>(natural512[2 * i] + 256 * natural512[2 * i + 1]);
}

void CardTables::FatToBlock(uint8_t* natural512) const {
    for (int i = 0; i < kBlockCount; ++i) {
        natural512[2 * i] = static_cast<uint8_t>(fat_[i] & 0xFF);
        natural512[2 * i + 1] = static_cast<uint8_t>(fat_[i] >> 8);
    }
}

void CardTables::RepairSystemChains() {
    if (fat_[kFatBlock] == kFatEnd && fat_[kRootBlock] == kFatEnd)
        return;
    for (int i = kDirLastBlock + 1; i <= kDirFirstBlock; ++i)
        fat_[i] = static_cast<uint16_t>(i - 1);
    fat_[kDirLastBlock] = kFatEnd;
    fat_[kFatBlock] = kFatEnd;
    fat_[kRootBlock] = kFatEnd;
}
