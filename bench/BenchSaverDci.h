#pragma once

#include "card/CardLayout.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

// A single-saver file of a data saver of `blocks` blocks whose header block
// holds its description and `frames` icon frames; the data differs by seed.
// The name is padded or cut to the card's 12 bytes.
inline std::vector<char> BenchSaverDci(const std::string& name, int blocks, int frames, int seed) {
    std::vector<char> dci(32 + 512 * static_cast<size_t>(blocks), 0);
    dci[0] = 0x33;
    const std::string name12 = (name + "            ").substr(0, 12);
    std::memcpy(dci.data() + 4, name12.data(), 12);
    dci[24] = static_cast<char>(blocks);
    for (int b = 0; b < blocks; ++b) {
        uint8_t block[512];
        for (int i = 0; i < 512; ++i)
            block[i] = static_cast<uint8_t>(seed * 13 + b * 7 + i * (b + 1));
        if (b == 0) {
            std::memset(block, 'A', 48);
            block[0x40] = static_cast<uint8_t>(frames);
            block[0x41] = 0;
        }
        SwapWords(block);
        std::memcpy(dci.data() + 32 + 512 * b, block, 512);
    }
    return dci;
}
