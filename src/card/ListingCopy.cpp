#include "card/ListingCopy.h"

#include <algorithm>
#include <cstring>
#include <iterator>

void ListingCopy::Forget() {
    std::fill(std::begin(kept_), std::end(kept_), false);
    doubtful_ = false;
    changed = false;
}

void ListingCopy::Keep(uint8_t block, const uint8_t* natural512) {
    if (!System(block))
        return;
    std::memcpy(data_[block - kFirstBlock], natural512, kBlockSize);
    kept_[block - kFirstBlock] = true;
}

void ListingCopy::Lose(uint8_t block) {
    if (!System(block))
        return;
    kept_[block - kFirstBlock] = false;
    doubtful_ = true;
}

bool ListingCopy::Kept(uint8_t block) const {
    return System(block) && kept_[block - kFirstBlock];
}

const uint8_t* ListingCopy::Data(uint8_t block) const {
    return Kept(block) ? data_[block - kFirstBlock] : nullptr;
}
