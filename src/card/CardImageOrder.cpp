#include "card/CardImageOrder.h"

#include "base/SafeFile.h"

#include "card/CardVolume.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

uint16_t Le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

std::string LowerExtension(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return std::string();
    std::string ext = path.substr(dot);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext;
}

} // namespace

bool RootLooksFormatted(const uint8_t* root) {
    const uint16_t userBlocks = Le16(root + CardVolume::kUserBlocksOffset);
    return Le16(root + 0x46) == CardVolume::kFatBlock && Le16(root + 0x48) == 1 &&
           Le16(root + 0x4A) == CardVolume::kDirFirstBlock &&
           Le16(root + 0x4C) == CardVolume::kDirBlocks && userBlocks >= 1 &&
           userBlocks <= CardVolume::kDirLastBlock;
}

bool NameSaysNatural(const std::string& path) {
    const std::string ext = LowerExtension(path);
    return ext == ".bin" || ext == ".vmu";
}

OrderGuess GuessImageOrder(const uint8_t* root512, const std::string& path) {
    uint8_t swapped[CardVolume::kBlockSize];
    std::memcpy(swapped, root512, sizeof swapped);
    SwapWords(swapped);
    // As stored, the block is what a natural-order dump holds; swapped, what
    // a card-order image holds.
    const bool natural = RootLooksFormatted(root512);
    const bool card = RootLooksFormatted(swapped);
    OrderGuess guess;
    if (natural != card) {
        guess.order = natural ? ImageOrder::Natural : ImageOrder::Card;
        return guess;
    }
    guess.fromContent = false;
    guess.order = NameSaysNatural(path) ? ImageOrder::Natural : ImageOrder::Card;
    return guess;
}

OrderGuess GuessImageFileOrder(const std::string& path) {
    uint8_t root[CardVolume::kBlockSize];
    bool whole = false;
    if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
        whole = std::fseek(file, static_cast<long>(CardVolume::kRootBlock) * sizeof root,
                           SEEK_SET) == 0 &&
                std::fread(root, 1, sizeof root, file) == sizeof root;
        std::fclose(file);
    }
    if (whole)
        return GuessImageOrder(root, path);
    OrderGuess guess;
    guess.fromContent = false;
    guess.order = NameSaysNatural(path) ? ImageOrder::Natural : ImageOrder::Card;
    return guess;
}

const char* ImageOrderName(ImageOrder order) {
    return order == ImageOrder::Natural ? "raw dump" : "DCM";
}

bool ParseImageOrder(const std::string& text, ImageOrder& order) {
    if (text == "raw")
        order = ImageOrder::Natural;
    else if (text == "dcm")
        order = ImageOrder::Card;
    else
        return false;
    return true;
}

bool ConvertImageFile(const std::string& in, const std::string& out, ImageOrder to,
                      std::string& error) {
    constexpr size_t kBytes = static_cast<size_t>(CardVolume::kCardBytes);
    auto image = std::make_unique<uint8_t[]>(kBytes + 1);
    std::FILE* source = std::fopen(in.c_str(), "rb");
    if (source == nullptr) {
        error = "cannot open " + in;
        return false;
    }
    // One byte more than an image tells a longer file from a whole one.
    const size_t got = std::fread(image.get(), 1, kBytes + 1, source);
    std::fclose(source);
    if (got != kBytes) {
        error = "FILE : " + in + " IS NOT SUPPORTED !!!!";
        return false;
    }
    const OrderGuess from =
        GuessImageOrder(image.get() + CardVolume::kRootBlock * CardVolume::kBlockSize, in);
    if (from.order != to)
        SwapWords(image.get(), kBytes);
    std::FILE* target = OpenStreamForWriting(out);
    if (target == nullptr) {
        error = "cannot write " + out;
        return false;
    }
    bool ok = std::fwrite(image.get(), 1, kBytes, target) == kBytes;
    if (std::fclose(target) != 0)
        ok = false;
    if (!ok)
        error = "cannot write " + out;
    return ok;
}
