#include "card/SystemBlocks.h"

#include "card/CardWriteBack.h"
#include "card/ChangeRecorder.h"

#include <cstring>

bool ReadSystemBlocks(CardVolume& volume, BlockBytes (&out)[kSystemBlocks]) {
    for (int k = 0; k < kSystemBlocks; ++k) {
        if (!volume.ReadRawBlock(volume.Device(),
                                 static_cast<uint8_t>(CardVolume::kDirLastBlock + k), out[k]) ||
            LinkFailedOn(volume))
            return false;
    }
    return true;
}

void EncodeFat(const uint16_t* fat, uint8_t* out512) {
    for (int i = 0; i < CardVolume::kBlockCount; ++i) {
        out512[2 * i] = static_cast<uint8_t>(fat[i] & 0xFF);
        out512[2 * i + 1] = static_cast<uint8_t>(fat[i] >> 8);
    }
    SwapWords(out512);
}

void EncodeDirectory(const uint8_t (*entries)[SaverEntry::kSize], int k, uint8_t* out512) {
    std::memset(out512, 0, CardVolume::kBlockSize);
    for (int j = 0; j < CardVolume::kEntriesPerBlock; ++j) {
        const int n = k * CardVolume::kEntriesPerBlock + j;
        if (n < CardVolume::kEntryCount)
            std::memcpy(out512 + SaverEntry::kSize * j, entries[n], SaverEntry::kSize);
    }
    SwapWords(out512);
}

int DirectoryIndex(int k) {
    return CardVolume::kDirFirstBlock - k - CardVolume::kDirLastBlock;
}

bool WriteSystemState(CardVolume& volume, const BlockBytes (&current)[kSystemBlocks],
                      const BlockBytes (&target)[kSystemBlocks],
                      const std::function<void(uint8_t, const uint8_t*)>& beforeEach) {
    constexpr size_t kSize = CardVolume::kBlockSize;
    for (int k = 0; k < kSystemBlocks; ++k) {
        if (std::memcmp(current[k], target[k], kSize) != 0)
            PlanBlock(volume, static_cast<uint8_t>(CardVolume::kDirLastBlock + k), target[k]);
    }
    auto write = [&](int k, const uint8_t* data) {
        const auto block = static_cast<uint8_t>(CardVolume::kDirLastBlock + k);
        if (beforeEach)
            beforeEach(block, data);
        return volume.WriteRawBlock(volume.Device(), block, data) && !LinkFailedOn(volume);
    };
    const SystemView now(current);
    const SystemView want(target);
    uint16_t bridge[CardVolume::kBlockCount];
    for (int b = 0; b < CardVolume::kBlockCount; ++b)
        bridge[b] = want.fat[b] != CardVolume::kFatFree ? want.fat[b] : now.fat[b];
    uint8_t block[kSize];
    EncodeFat(bridge, block);
    const bool bridgeNeeded = std::memcmp(block, current[kFatIndex], kSize) != 0;
    if (bridgeNeeded && !write(kFatIndex, block))
        return false;
    for (int k = 0; k < CardVolume::kDirBlocks; ++k) {
        const int i = DirectoryIndex(k);
        if (std::memcmp(current[i], target[i], kSize) != 0 && !write(i, target[i]))
            return false;
    }
    if (std::memcmp(current[kRootIndex], target[kRootIndex], kSize) != 0 &&
        !write(kRootIndex, target[kRootIndex]))
        return false;
    const uint8_t* written = bridgeNeeded ? block : current[kFatIndex];
    if (std::memcmp(written, target[kFatIndex], kSize) != 0 && !write(kFatIndex, target[kFatIndex]))
        return false;
    return true;
}
