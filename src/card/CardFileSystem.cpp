#include "card/CardVolume.h"
#include "card/ChangeRecorder.h"

#include "card/SameCard.h"
#include "card/ShiftJis.h"
#include "card/SystemBlocks.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace {

// Bytes 0x00..0x5F of a freshly formatted root block; byte 0x50 is replaced
// by the chosen user-block count.
constexpr uint8_t kRootTemplate[0x60] = {
    0x55, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55,
    0x01, 0xFF, 0x3F, 0x5F, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x19, 0x99, 0x10, 0x27, 0x04, 0x54, 0x52, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0xFF, 0x00, 0x00, 0x00, 0xFF, 0x00, 0xFE, 0x00, 0x01, 0x00, 0xFD, 0x00, 0x0D, 0x00, 0x08, 0x00,
    0xC8, 0x00, 0x1F, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
};

} // namespace

bool CardVolume::ReadRoot() {
    // The root is the first block of every listing.
    ListingCopy& listed = listing_.Copy();
    listed.Forget();
    BlockBytes& root = tables_.Root();
    tables_.SetIoError(!ReadRawBlock(Device(), kRootBlock, root));
    SwapWords(root);
    if (!IoError())
        listed.Keep(kRootBlock, root);
    return !IoError();
}

bool CardVolume::WriteRoot() {
    uint8_t copy[kBlockSize];
    std::memcpy(copy, Root(), kBlockSize);
    SwapWords(copy);
    tables_.SetIoError(!WriteRawBlock(Device(), kRootBlock, copy));
    return !IoError();
}

bool CardVolume::ReadFat() {
    BlockBytes& block = tables_.Block();
    tables_.SetIoError(!ReadRawBlock(Device(), kFatBlock, block));
    SwapWords(block);
    if (!IoError())
        listing_.Copy().Keep(kFatBlock, block);
    tables_.FatFromBlock(block);
    return !IoError();
}

bool CardVolume::WriteFat() {
    BlockBytes& block = tables_.Block();
    tables_.FatToBlock(block);
    SwapWords(block);
    tables_.SetIoError(!WriteRawBlock(Device(), kFatBlock, block));
    return !IoError();
}

bool CardVolume::ReadDirectory(bool headers) {
    uint8_t block = kDirFirstBlock;
    int n = 0;
    bool ok = true;
    if (StartChain(block)) {
        bool seen[kBlockCount] = {};
        // A damaged link out of the directory's blocks ends the walk: entries
        // read from a saver's data would name other savers' blocks, and a
        // write-back through them would land there.
        for (int blocks = 0; blocks < kMaxDirBlocks && IsDirectoryBlock(block) && !seen[block];
             ++blocks) {
            seen[block] = true;
            // A block that could not be read would repeat the previous one's
            // entries and send a header read per entry down a dead link.
            if (!ReadRawBlock(Device(), block, Block())) {
                ok = false;
                break;
            }
            SwapWords(Block());
            listing_.Copy().Keep(block, Block());
            for (int j = 0; j < kEntriesPerBlock && n < kEntryCount; ++j, ++n) {
                SaverEntry& entry = Entries()[n];
                entry.Clear();
                std::memcpy(entry.Raw, Block() + SaverEntry::kSize * j, SaverEntry::kSize);
                DecodeEntry(n, headers);
            }
            if (!NextInChain(block))
                break;
        }
    }
    // Nothing of an earlier card may survive in the places this one left over.
    for (; n < kEntryCount; ++n)
        Entries()[n].Clear();
    return ok;
}

bool CardVolume::WriteDirectory() {
    uint8_t block = kDirFirstBlock;
    if (!StartChain(block))
        return false; // no directory chain to write into
    bool seen[kBlockCount] = {};
    int n = 0;
    for (int blocks = 0; blocks < kMaxDirBlocks && !seen[block]; ++blocks) {
        // Entries are never written over a saver's data, the table or the
        // root, whatever a damaged link says.
        if (!IsDirectoryBlock(block))
            return false;
        // A looped chain would write one block again with later entries.
        seen[block] = true;
        // Places beyond the table (an over-long chain) keep what the card has.
        if (n + kEntriesPerBlock > kEntryCount) {
            if (!ReadRawBlock(Device(), block, Block()))
                return false;
            SwapWords(Block());
        }
        for (int j = 0; j < kEntriesPerBlock && n < kEntryCount; ++j, ++n)
            std::memcpy(Block() + SaverEntry::kSize * j, Entries()[n].Raw, SaverEntry::kSize);
        SwapWords(Block());
        // Going on after a failure would only repeat the link's message.
        if (!WriteRawBlock(Device(), block, Block()))
            return false;
        if (!NextInChain(block))
            break;
    }
    return true;
}

bool CardVolume::ReadNatural(uint8_t block, uint8_t* out512) {
    if (!ReadRawBlock(Device(), block, out512))
        return false;
    SwapWords(out512);
    return true;
}

void CardVolume::DecodeEntry(int index, bool withHeader) {
    if (index < 0 || index >= kEntryCount)
        return;
    SaverEntry& e = Entries()[index];
    const uint8_t* r = e.Raw;
    e.ClearDecoded();
    if (!e.RawInUse())
        return;
    e.Name.assign(reinterpret_cast<const char*>(r + SaverEntry::kNameOffset),
                  SaverEntry::kNameLength);
    const uint8_t* stamp = r + SaverEntry::kStampOffset;
    e.Date =
        HexByte(stamp[0]) + HexByte(stamp[1]) + "/" + HexByte(stamp[2]) + "/" + HexByte(stamp[3]);
    e.Time = HexByte(stamp[4]) + ":" + HexByte(stamp[5]) + ":" + HexByte(stamp[6]);
    e.FirstBlock = r[SaverEntry::kFirstBlockOffset];
    e.SizeBlocks = r[SaverEntry::kSizeOffset];
    e.CurrentFrame = 0;

    uint8_t header[kBlockSize];
    // Without the header the entry stays as for one that could not be read.
    const auto readHeader = [&](uint8_t block) { return withHeader && ReadNatural(block, header); };
    if (SaverEntry::IsGameRaw(r)) {
        e.IsGame = true;
        // A game starts at block 0 whatever byte 2 says; every walk over its
        // chain, and the listing, take it from there.
        e.FirstBlock = 0;
        // A game starts at block 0; its header is the block after that.
        const uint16_t next = Fat()[0];
        if (next >= kBlockCount)
            return;
        if (!readHeader(static_cast<uint8_t>(next)))
            return;
        e.IconCount = header[SaverEntry::kHeaderIconCount];
        e.Description = CleanText(header, SaverEntry::kDescriptionLength);
        e.DescriptionText = DecodeShiftJis(header, SaverEntry::kDescriptionLength);
        return;
    }
    e.IsGame = false;
    if (!readHeader(e.FirstBlock))
        return;
    if (e.Name == SaverEntry::kLogoName) {
        e.IconCount = 0;
        e.Description = SaverEntry::kLogoDescription;
        e.DescriptionText = e.Description;
    } else if (header[SaverEntry::kHeaderIconCount] >= 64 &&
               header[SaverEntry::kHeaderIconCheck] != 0xFF) {
        e.IconCount = 0;
        e.Description = SaverEntry::kUnknownDescription;
        e.DescriptionText = e.Description;
    } else {
        e.IconCount = header[SaverEntry::kHeaderIconCount];
        e.Description = CleanText(header, SaverEntry::kDescriptionLength);
        e.DescriptionText = DecodeShiftJis(header, SaverEntry::kDescriptionLength);
    }
}

bool CardVolume::FormatVolume(uint8_t userBlocks) {
    // Formatting another card than the one listed would wipe savers the
    // user never saw.
    if (!ReadyToWrite(*this))
        return false;
    ChangeScope change(*this, "format " + std::to_string(userBlocks));
    // The system blocks as they are, so that a format that cannot finish
    // puts them back: a card half formatted has lost every saver's entry
    // while the old table still holds their blocks. A card whose system
    // blocks cannot be read is not written at all.
    uint8_t saved[kSystemBlocks][kBlockSize];
    for (int k = 0; k < kSystemBlocks; ++k) {
        if (!ReadRawBlock(Device(), static_cast<uint8_t>(kDirLastBlock + k), saved[k]))
            return false;
    }
    // failed: the block whose write failed. On an image it may be half
    // written and is put back too; the link has told of its failure once.
    // Stops at the first other block the card no longer takes.
    auto restore = [&](int failed) {
        if (Place() == CardPlace::Image)
            (void)WriteRawBlock(Device(), static_cast<uint8_t>(kDirLastBlock + failed),
                                saved[failed]);
        for (int k = failed - 1; k >= 0; --k) {
            if (!WriteRawBlock(Device(), static_cast<uint8_t>(kDirLastBlock + k), saved[k]))
                break;
        }
        // Memory as the card was, without reading it again.
        std::memcpy(Root(), saved[kRootBlock - kDirLastBlock], kBlockSize);
        SwapWords(Root());
        std::memcpy(Block(), saved[kFatBlock - kDirLastBlock], kBlockSize);
        SwapWords(Block());
        tables_.FatFromBlock(Block());
        return false;
    };

    uint8_t root[kBlockSize] = {};
    std::memcpy(root, kRootTemplate, sizeof kRootTemplate);
    root[kUserBlocksOffset] = userBlocks;
    // The card as the format leaves it, for the history: empty directory
    // blocks, the fresh table and the new root.
    {
        uint8_t planned[kBlockSize] = {};
        for (int block = kDirLastBlock; block <= kDirFirstBlock; ++block)
            PlanBlock(*this, static_cast<uint8_t>(block), planned);
        uint16_t fresh[kBlockCount];
        std::fill(std::begin(fresh), std::end(fresh), kFatFree);
        for (int i = kDirLastBlock + 1; i <= kDirFirstBlock; ++i)
            fresh[i] = static_cast<uint16_t>(i - 1);
        fresh[kDirLastBlock] = fresh[kFatBlock] = fresh[kRootBlock] = kFatEnd;
        EncodeFat(fresh, planned);
        PlanBlock(*this, kFatBlock, planned);
        std::memcpy(planned, root, kBlockSize);
        SwapWords(planned);
        PlanBlock(*this, kRootBlock, planned);
    }

    std::memset(Block(), 0, kBlockSize);
    for (int block = kDirLastBlock; block <= kFatBlock; ++block) {
        // Laying down the FAT and root after a failed block would present a
        // directory of leftovers as a fresh card.
        if (!WriteRawBlock(Device(), static_cast<uint8_t>(block), Block()))
            return restore(block - kDirLastBlock);
    }
    std::fill(std::begin(Fat()), std::end(Fat()), kFatFree);
    RepairSystemChains();
    if (!WriteFat())
        return restore(kFatBlock - kDirLastBlock);
    std::memcpy(Root(), root, kBlockSize);
    if (!WriteRoot())
        return restore(kRootBlock - kDirLastBlock);
    return true;
}
