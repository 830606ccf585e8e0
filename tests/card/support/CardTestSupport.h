#pragma once

#include "support/TestFiles.h"

#include "card/CardFeedback.h"
#include "card/CardVolume.h"

#include <atomic>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace cardtest {

using porvane_test::TempDir;

// Records what the card model tells the user; onProgress runs at every
// progress update (used to break a transfer half way).
class RecordingFeedback : public CardFeedback {
  public:
    void ShowInfo(const std::string& text) override { infos.push_back(text); }
    void ShowWarning(const std::string& text) override { warnings.push_back(text); }
    bool Confirm(const std::string&) override { return false; }
    void SetProgress(int position, int max) override {
        lastPosition = position;
        lastMax = max;
        if (onProgress)
            onProgress(position);
    }
    void Repaint() override { ++repaints; }

    std::vector<std::string> infos;
    std::vector<std::string> warnings;
    int lastPosition = -1;
    int lastMax = -1;
    int repaints = 0;
    std::function<void(int)> onProgress;
};

using porvane_test::ReadFileBytes;
using porvane_test::WriteFileBytes;

// Block n in natural order as the file system sees it.
inline void WriteNatural(CardVolume& v, uint8_t block, const uint8_t* natural512) {
    uint8_t copy[CardVolume::kBlockSize];
    std::memcpy(copy, natural512, sizeof copy);
    SwapWords(copy);
    v.WriteRawBlock(v.Device(), block, copy);
}

inline void ReadNatural(CardVolume& v, uint8_t block, uint8_t* out512) {
    v.ReadRawBlock(v.Device(), block, out512);
    SwapWords(out512);
}

// A directory entry in natural order.
inline void SetEntry(SaverEntry& e, uint8_t type, uint8_t firstBlock, const std::string& name,
                     uint8_t size, uint8_t byte3 = 0) {
    std::memset(e.Raw, 0, sizeof e.Raw);
    e.Raw[0] = type;
    e.Raw[2] = firstBlock;
    e.Raw[3] = byte3;
    std::string padded = (name + std::string(12, ' ')).substr(0, 12);
    std::memcpy(e.Raw + 4, padded.data(), 12);
    const uint8_t stamp[8] = {0x19, 0x99, 0x12, 0x31, 0x23, 0x59, 0x58, 0x05};
    std::memcpy(e.Raw + 16, stamp, 8);
    e.Raw[24] = size;
}

// Links blocks[0] -> blocks[1] -> ... -> end in Fat.
inline void LinkChain(CardVolume& v, std::initializer_list<uint8_t> blocks) {
    const uint8_t* b = blocks.begin();
    for (size_t i = 0; i < blocks.size(); ++i)
        v.Fat()[b[i]] = i + 1 < blocks.size() ? b[i + 1] : CardVolume::kFatEnd;
}

} // namespace cardtest
