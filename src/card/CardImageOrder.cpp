#include "card/CardImageOrder.h"

#include "base/FileNames.h"
#include "base/SafeFile.h"

#include "card/CardVolume.h"
#include "card/ImageLock.h"
#include "card/SaverChains.h"

#include <cstdio>
#include <cstring>
#include <iterator>
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
    return AsciiLower(path.substr(dot));
}

constexpr int kBlock = CardVolume::kBlockSize;
constexpr int kTableIndex = CardVolume::kFatBlock - kOrderFirstBlock;
constexpr int kRootIndex = CardVolume::kRootBlock - kOrderFirstBlock;

// Block `index` of the system blocks as the file holds them, in natural
// order when the file is taken to be in `order`.
void NaturalBlock(const uint8_t* system, int index, ImageOrder order, uint8_t* out) {
    std::memcpy(out, system + static_cast<size_t>(index) * kBlock, kBlock);
    if (order == ImageOrder::Card)
        SwapWords(out);
}

// How many parts of the table and directory read as a card's in `order`,
// less those that do not. A card in the other order scores nothing: its
// table values are no blocks, and its entries' type bytes land where the
// first block's high byte stands.
int OrderScore(const uint8_t* system, ImageOrder order, bool& formatted) {
    // The volume only lends its table to the chain walk.
    const auto card = std::make_unique<CardVolume>();
    uint8_t block[kBlock];
    NaturalBlock(system, kTableIndex, order, block);
    for (int i = 0; i < CardVolume::kBlockCount; ++i)
        card->Fat()[i] = Le16(block + 2 * i);
    formatted = card->IsFormatted();
    if (!formatted)
        return 0;
    int score = 0;
    const auto tally = [&score](bool fits) { score += fits ? 1 : -1; };
    tally(card->Fat()[CardVolume::kFatBlock] == CardVolume::kFatEnd);
    tally(card->Fat()[CardVolume::kRootBlock] == CardVolume::kFatEnd);
    DirectoryChain directory;
    WalkDirectory(*card, directory);
    tally(directory.sound && directory.count == CardVolume::kDirBlocks);
    SaverChain chain;
    for (int k = 0; k < CardVolume::kDirBlocks; ++k) {
        NaturalBlock(system, CardVolume::kDirFirstBlock - k - kOrderFirstBlock, order, block);
        for (int j = 0; j < CardVolume::kEntriesPerBlock; ++j) {
            SaverEntry& e = card->Entries()[0];
            std::memcpy(e.Raw, block + SaverEntry::kSize * j, SaverEntry::kSize);
            if (!e.RawInUse())
                continue;
            e.IsGame = SaverEntry::IsGameRaw(e.Raw);
            e.FirstBlock = e.Raw[SaverEntry::kFirstBlockOffset];
            e.SizeBlocks = Le16(e.Raw + SaverEntry::kSizeOffset);
            // An entry points into a chain of its size that ends where it should.
            WalkSaverChain(*card, e, chain);
            tally(e.SizeBlocks < kFirstSystemBlock && chain.end == ChainEnd::Complete);
        }
    }
    return score;
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

ImageOrder OrderForWriting(const std::string& path, bool dumpChosen) {
    return dumpChosen || LowerExtension(path) == ".vmu" ? ImageOrder::Natural : ImageOrder::Card;
}

OrderGuess GuessImageOrder(const uint8_t* system, const std::string& path) {
    uint8_t root[kBlock];
    NaturalBlock(system, kRootIndex, ImageOrder::Natural, root);
    const bool natural = RootLooksFormatted(root);
    NaturalBlock(system, kRootIndex, ImageOrder::Card, root);
    const bool card = RootLooksFormatted(root);
    OrderGuess guess;
    if (natural != card) {
        guess.order = natural ? ImageOrder::Natural : ImageOrder::Card;
        return guess;
    }
    const int naturalScore = OrderScore(system, ImageOrder::Natural, guess.formatted);
    const int cardScore = OrderScore(system, ImageOrder::Card, guess.formatted);
    if ((naturalScore > 0) != (cardScore > 0)) {
        guess.order = naturalScore > 0 ? ImageOrder::Natural : ImageOrder::Card;
        return guess;
    }
    guess.fromContent = false;
    guess.order = NameSaysNatural(path) ? ImageOrder::Natural : ImageOrder::Card;
    return guess;
}

OrderGuess GuessImageFileOrder(const std::string& path) {
    uint8_t system[kOrderBlocks * kBlock];
    bool whole = false;
    if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
        whole = std::fseek(file, static_cast<long>(kOrderFirstBlock) * kBlock, SEEK_SET) == 0 &&
                std::fread(system, 1, sizeof system, file) == sizeof system;
        std::fclose(file);
    }
    if (whole)
        return GuessImageOrder(system, path);
    OrderGuess guess;
    guess.fromContent = false;
    guess.formatted = false;
    guess.order = NameSaysNatural(path) ? ImageOrder::Natural : ImageOrder::Card;
    return guess;
}

std::string OrderUnknownText(const std::string& path) {
    return "The byte order of " + path +
           " cannot be told: neither its root nor its table and directory read as a card's "
           "in either order. It is only read, and nothing was written. State its order by "
           "copying it: porvane-cli convert " +
           path + " COPY --to dcm (or --to raw for a raw card dump).";
}

void StateRootLayout(uint8_t* root, const uint16_t* fat) {
    // The words of a formatted root from 0x44 to 0x53: each group of four
    // bytes then reads as a card's in this order only.
    constexpr uint16_t kWords[] = {
        255, CardVolume::kFatBlock, 1, CardVolume::kDirFirstBlock, CardVolume::kDirBlocks, 8};
    for (size_t k = 0; k < std::size(kWords); ++k) {
        root[0x44 + 2 * k] = static_cast<uint8_t>(kWords[k] & 0xFF);
        root[0x45 + 2 * k] = static_cast<uint8_t>(kWords[k] >> 8);
    }
    const uint16_t users = Le16(root + CardVolume::kUserBlocksOffset);
    if (users >= 1 && users <= CardVolume::kDirLastBlock)
        return;
    int highest = -1;
    for (int b = 0; b < kFirstSystemBlock; ++b)
        highest = fat[b] != CardVolume::kFatFree ? b : highest;
    const int count = highest < 200 ? 200 : highest < 240 ? 240 : CardVolume::kDirLastBlock;
    root[CardVolume::kUserBlocksOffset] = static_cast<uint8_t>(count);
    root[CardVolume::kUserBlocksOffset + 1] = 0;
    root[0x52] = 31;
    root[0x53] = 0;
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
                      std::string& error, const ImageOrder* stated) {
    constexpr size_t kBytes = static_cast<size_t>(CardVolume::kCardBytes);
    auto image = std::make_unique<uint8_t[]>(kBytes + 1);
    std::FILE* source = std::fopen(in.c_str(), "rb");
    if (source == nullptr) {
        error = "cannot open " + in;
        return false;
    }
    // Another program's change half made is no card to copy.
    if (!LockImageFile(source)) {
        std::fclose(source);
        error = ImageBusyText(in);
        return false;
    }
    // One byte more than an image tells a longer file from a whole one.
    const size_t got = std::fread(image.get(), 1, kBytes + 1, source);
    std::fclose(source);
    if (got != kBytes) {
        error = "FILE : " + in + " IS NOT SUPPORTED !!!!";
        return false;
    }
    uint8_t* system = image.get() + static_cast<size_t>(kOrderFirstBlock) * kBlock;
    const OrderGuess guess = GuessImageOrder(system, in);
    ImageOrder from = guess.order;
    if (guess.Unsure()) {
        if (stated == nullptr) {
            error = OrderUnknownText(in);
            return false;
        }
        from = *stated;
        // The copy tells its order by its root from now on.
        uint8_t table[kBlock];
        uint8_t root[kBlock];
        NaturalBlock(system, kTableIndex, from, table);
        NaturalBlock(system, kRootIndex, from, root);
        uint16_t fat[CardVolume::kBlockCount];
        for (int i = 0; i < CardVolume::kBlockCount; ++i)
            fat[i] = Le16(table + 2 * i);
        StateRootLayout(root, fat);
        if (from == ImageOrder::Card)
            SwapWords(root);
        std::memcpy(system + static_cast<size_t>(kRootIndex) * kBlock, root, kBlock);
    }
    if (from != to)
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
