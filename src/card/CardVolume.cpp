#include "card/CardVolume.h"

#include "card/ChangeRecorder.h"

#include <algorithm>
#include <cstring>

void SwapWords(uint8_t* data, size_t bytes) {
    for (size_t g = 0; g + 4 <= bytes; g += 4) {
        std::swap(data[g], data[g + 3]);
        std::swap(data[g + 1], data[g + 2]);
    }
}

void SwapWords(uint8_t* block512) {
    SwapWords(block512, CardLayout::kBlockSize);
}

bool CardVolume::WriteRawBlock(uint8_t device, uint8_t block, const uint8_t* data512) {
    ChangeRecorder* recorder = store_.Recorder();
    if (recorder != nullptr)
        recorder->BeforeWrite(*this, block, data512);
    const bool written = store_.StoreBlock(device, block, data512);
    // What we write to the system blocks is what the card holds from now on;
    // after a failed write nobody knows.
    if (block >= ListingCopy::kFirstBlock) {
        if (written) {
            uint8_t natural[kBlockSize];
            std::memcpy(natural, data512, kBlockSize);
            SwapWords(natural);
            listing_.Copy().Keep(block, natural);
        } else {
            listing_.Copy().Lose(block);
        }
    }
    if (recorder != nullptr)
        recorder->AfterWrite(*this, block, data512, written);
    return written;
}
