#include "card/BlockCache.h"

#include "card/CardVolume.h"

#include <cstring>

void BlockCache::Open() {
    if (depth_++ == 0)
        ForgetAll();
}

void BlockCache::Close() {
    if (depth_ > 0 && --depth_ == 0)
        ForgetAll();
}

const uint8_t* BlockCache::Peek(uint8_t block, uint32_t selection) const {
    if (depth_ == 0 || selection != selection_ || !Known(block))
        return nullptr;
    return data_[block];
}

bool BlockCache::Find(uint8_t block, uint32_t selection, uint8_t* out512) const {
    const uint8_t* kept = Peek(block, selection);
    if (kept == nullptr)
        return false;
    std::memcpy(out512, kept, kBlockSize);
    return true;
}

void BlockCache::Keep(uint8_t block, uint32_t selection, const uint8_t* data512) {
    if (depth_ == 0)
        return;
    // Blocks kept under another page selection belong to another card.
    if (selection != selection_) {
        ForgetAll();
        selection_ = selection;
    }
    std::memcpy(data_[block], data512, kBlockSize);
    known_[block / 64] |= uint64_t{1} << (block % 64);
}

void BlockCache::Forget(uint8_t block) {
    known_[block / 64] &= ~(uint64_t{1} << (block % 64));
}

void BlockCache::ForgetAll() {
    for (uint64_t& word : known_)
        word = 0;
}

BlockCacheScope::BlockCacheScope(CardVolume& volume) : cache_(volume.Store().Cache()) {
    cache_.Open();
}

BlockCacheScope::~BlockCacheScope() {
    cache_.Close();
}
