#include "card/support/EngineSupport.h"
#include "card/LoadVolume.h"

#include "card/CardListing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <random>

namespace fs = std::filesystem;

namespace engine_test {

void ListVolume(CardVolume& volume) {
    ListSavers(volume);
}

bool MakeImage(CardVolume& volume, const std::string& path, uint8_t userBlocks) {
    volume.SetPlace(CardPlace::Image);
    if (!volume.OpenImage(path) || !volume.FormatVolume(userBlocks))
        return false;
    return LoadVolume(volume).Loaded();
}

std::string Name12(const std::string& name) {
    std::string padded = name;
    padded.resize(SaverEntry::kNameLength, ' ');
    return padded;
}

void PlaceSaver(CardVolume& volume, int index, const std::string& name12, uint8_t type,
                const std::vector<uint8_t>& chain, uint8_t seed) {
    ASSERT_FALSE(chain.empty());
    uint8_t block[CardVolume::kBlockSize];
    for (size_t k = 0; k < chain.size(); ++k) {
        for (int i = 0; i < CardVolume::kBlockSize; ++i)
            block[i] = static_cast<uint8_t>(seed * 31 + k * 7 + i * 13 + (i >> 5));
        // Natural byte 0x40 (the icon count) kept small so that decoding reads
        // no frames beyond the saver.
        block[0x43] = 0;
        ASSERT_TRUE(volume.WriteRawBlock(volume.Device(), chain[k], block));
        volume.Fat()[chain[k]] = k + 1 < chain.size() ? chain[k + 1] : CardVolume::kFatEnd;
    }
    SaverEntry& e = volume.Entries()[index];
    std::memset(e.Raw, 0, sizeof e.Raw);
    e.Raw[0] = type;
    e.Raw[1] = seed;
    e.Raw[2] = chain[0];
    std::memcpy(e.Raw + 4, name12.data(), std::min<size_t>(name12.size(), 12));
    const uint8_t stamp[8] = {0x20, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x01};
    std::memcpy(e.Raw + 16, stamp, 8);
    e.Raw[24] = static_cast<uint8_t>(chain.size());
    e.Raw[26] = static_cast<uint8_t>(seed ^ 0x5A);
    ASSERT_TRUE(volume.WriteFat());
    volume.WriteDirectory();
    ASSERT_TRUE(LoadVolume(volume));
}

std::vector<uint8_t> ChainBytes(CardVolume& volume, const std::vector<uint8_t>& chain) {
    std::vector<uint8_t> bytes;
    uint8_t block[CardVolume::kBlockSize];
    for (uint8_t b : chain) {
        EXPECT_TRUE(volume.ReadRawBlock(volume.Device(), b, block));
        bytes.insert(bytes.end(), std::begin(block), std::end(block));
    }
    return bytes;
}

std::vector<uint8_t> ChainOf(const CardVolume& volume, uint8_t first) {
    std::vector<uint8_t> chain;
    uint16_t b = first;
    while (b < 256 && chain.size() < 256 && volume.Fat()[b] != CardVolume::kFatFree) {
        chain.push_back(static_cast<uint8_t>(b));
        b = volume.Fat()[b];
    }
    return chain;
}

std::vector<uint8_t> FileBlock(const std::string& path, int block) {
    const std::vector<uint8_t> all = ReadFileBytes(path);
    const size_t at = static_cast<size_t>(block) * CardVolume::kBlockSize;
    if (all.size() < at + CardVolume::kBlockSize)
        return {};
    return std::vector<uint8_t>(all.begin() + static_cast<long>(at),
                                all.begin() + static_cast<long>(at + CardVolume::kBlockSize));
}

int EntryNamed(const CardVolume& volume, const std::string& name12) {
    for (int k = 0; k < volume.ListedCount(); ++k) {
        const int i = volume.ListMap()[k];
        if (volume.Entries()[i].Name == name12)
            return i;
    }
    return -1;
}

std::vector<uint8_t> MakeDciBytes(uint8_t type, uint8_t byte2, uint8_t byte3,
                                  const std::string& name, int size, uint8_t seed) {
    std::vector<uint8_t> dci(32 + 512 * static_cast<size_t>(size));
    dci[0] = type;
    dci[1] = 0x77;
    dci[2] = byte2;
    dci[3] = byte3;
    std::memcpy(dci.data() + 4, Name12(name).data(), 12);
    const uint8_t stamp[8] = {0x20, 0x24, 0x06, 0x30, 0x12, 0x00, 0x00, 0x01};
    std::memcpy(dci.data() + 16, stamp, 8);
    dci[24] = static_cast<uint8_t>(size);
    for (size_t i = 32; i < dci.size(); ++i)
        dci[i] = static_cast<uint8_t>(seed + i * 11 + (i >> 9));
    // Natural byte 0x40 of every block (card byte 0x43), the icon count of a
    // header, kept at 0 so that decoding reads no frames.
    for (size_t b = 32; b + 512 <= dci.size(); b += 512)
        dci[b + 0x43] = 0;
    return dci;
}

void DamageTable(CardVolume& volume, std::initializer_list<std::pair<int, uint16_t>> links) {
    for (const auto& [block, value] : links)
        volume.Fat()[block] = value;
    ASSERT_TRUE(volume.WriteFat());
    ASSERT_TRUE(LoadVolume(volume));
}

void TwoImageTest::SetUp() {
    a_ = std::make_unique<CardVolume>();
    b_ = std::make_unique<CardVolume>();
    a_->Store().SetFeedback(&ui_);
    b_->Store().SetFeedback(&ui_);
    ASSERT_TRUE(MakeImage(*a_, APath()));
    ASSERT_TRUE(MakeImage(*b_, BPath()));
}

std::string TwoImageTest::Dci(const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string path = dir_.File(name);
    WriteFileBytes(path, bytes);
    return path;
}

} // namespace engine_test
