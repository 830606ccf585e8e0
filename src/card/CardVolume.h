#pragma once

#include "card/BlockCache.h"
#include "card/ListingCopy.h"
#include "card/SaverEntry.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

class LinkPort;
struct Settings;
class CardUi;
class ChangeRecorder;

// Reverses every aligned group of four bytes: converts a block between card
// order (as the link and image files carry it) and natural order (as the file
// system reads it). Its own inverse.
void SwapWords(uint8_t* block512);
// The same over any number of whole 4-byte groups (bytes rounded down to 4).
void SwapWords(uint8_t* data, size_t bytes);

// One memory card as the program holds it: slot 1, slot 2 or an image file.
// A plain record with fixed-size buffers; the main window holds three of them
// by value for the whole run.
class CardVolume {
  public:
    // Card geometry.
    static constexpr int kBlockSize = 512;
    static constexpr int kBlockCount = 256;
    static constexpr long kCardBytes = 131072;
    static constexpr uint8_t kRootBlock = 255;
    static constexpr uint8_t kFatBlock = 254;
    static constexpr uint8_t kDirFirstBlock = 253;
    static constexpr uint8_t kDirLastBlock = 241;
    static constexpr int kDirBlocks = 13;
    static constexpr int kMaxDirBlocks = 14; // a walk stops after this many blocks
    // The directory's own blocks: a link out of them leads into saver data
    // (or the table and root), never to more entries.
    static constexpr bool IsDirectoryBlock(int block) {
        return block >= kDirLastBlock && block <= kDirFirstBlock;
    }
    static constexpr int kEntriesPerBlock = 16;
    static constexpr int kEntryCount = 209;        // places in Entries
    static constexpr int kListedEntries = 208;     // entries the main window uses
    static constexpr int kUserBlocksOffset = 0x50; // in Root
    static constexpr int kWorkAreaSize = 16384;

    // FAT values.
    static constexpr uint16_t kFatFree = 0xFFFC;
    static constexpr uint16_t kFatEnd = 0xFFFA;
    static constexpr uint16_t kFatBlank = 0xFFFF; // unformatted card
    static constexpr uint8_t kChainEnd = 0xFF;    // ChainNext: no more blocks

    // Devices.
    static constexpr uint8_t kSlot1 = 0;
    static constexpr uint8_t kSlot2 = 1;
    static constexpr uint8_t kImage = 2; // 2 or more selects the image file

    // The block store's retries.
    static constexpr int kReadAttempts = 16;
    static constexpr int kWriteAttempts = 5;
    static constexpr const char* kReadErrorText =
        "Link error , Auto Refresh Mode turned off. Please check Connection speed in Setup, DC "
        "power and cable connection. ";
    static constexpr const char* kWriteErrorText =
        "Link error , Auto Reflesh Mode turned off. Please check Connection speed in Setup, DC "
        "power and cable connection. ";
    // What a failed write shows: the message above, then that the card may
    // hold a change cut off half-way.
    static constexpr const char* kWriteFailedText =
        "Link error , Auto Reflesh Mode turned off. Please check Connection speed in Setup, DC "
        "power and cable connection. A write to the card was cut off: the card may need "
        "\"Check card...\".";

    CardVolume() = default;
    ~CardVolume();
    // Holds an open file: never copied.
    CardVolume(const CardVolume&) = delete;
    CardVolume& operator=(const CardVolume&) = delete;

    // --- Block store -------------------------------------------------------
    // Opens (creating a blank 0xFF image when missing) the image file for
    // reading and writing, or for reading only when that is all the file
    // allows (ImageReadOnly; every write then fails). ImageOpen becomes true
    // either way; the result says whether the file is really open (a closed
    // one fails every transfer).
    bool OpenImage(const std::string& fileName);
    void CloseImage();
    // One block in card order; device is always this volume's Device.
    // Inside a command (BlockCacheScope) a slot's block is read from the
    // card once and then served from the command's cache.
    bool ReadRawBlock(uint8_t device, uint8_t block, uint8_t* out512);
    // Reads the card itself, never the cache, for a check that must see
    // what the card holds now; the cache then keeps what it read.
    bool ReadFreshBlock(uint8_t device, uint8_t block, uint8_t* out512);
    // Reads the card itself until one read passes the link's check, even
    // with transfers verified, and keeps nothing: for a caller that holds
    // the bytes against a copy read verified before (card/SameCard.h).
    bool ReadBlockOnce(uint8_t device, uint8_t block, uint8_t* out512);
    bool WriteRawBlock(uint8_t device, uint8_t block, const uint8_t* data512);

    // --- File system -------------------------------------------------------
    // Root and FAT transfers set IoError; the result is !IoError.
    bool ReadRoot();
    bool WriteRoot();
    bool ReadFat();
    bool WriteFat();
    // Chain walk over FAT links; ChainNext is the block the next step returns.
    bool StartChain(uint8_t& block);
    bool NextInChain(uint8_t& block);
    // Up to maxBlocks blocks of the chain from first (first included), in
    // order; stops at the end mark or at a block already listed, so a looped
    // chain ends. Returns the count (0 when first is a free block).
    int CollectChain(uint8_t first, uint8_t* out, int maxBlocks);
    // Both stop at the first block that fails (the block store has shown its
    // message) and then return false. Both keep to blocks 241..253: the walk
    // ends at a link out of them (WriteDirectory then returns false, its
    // later entries unwritten). Without headers no saver's header block is
    // read: the entries come without IconCount and Description, as for a
    // header that could not be read.
    bool ReadDirectory(bool headers = true);
    bool WriteDirectory();
    void DecodeEntry(int index, bool header = true);
    // Lays down an empty file system with userBlocks blocks for savers; saver
    // blocks are not touched. False when a block could not be written, or,
    // with nothing written, when the card is no longer the one listed.
    bool FormatVolume(uint8_t userBlocks);
    // Rebuilds the root, FAT and directory chains in Fat (memory only).
    void RepairSystemChains();
    // Fat[0] or Fat[1] reading 0xFFFF marks a card that was never formatted.
    bool IsFormatted() const { return Fat[0] != kFatBlank && Fat[1] != kFatBlank; }
    uint8_t UserBlocks() const { return Root[kUserBlocksOffset]; }

    // --- Icons -------------------------------------------------------------
    // Palette entries 0..15 of the icon area from the saver's header.
    void ReadPalette(int index);
    // Frame `frame` of the saver's icon as a bitmap file; false when there is
    // nothing to extract or the file could not be written whole.
    bool ExtractIcon(uint8_t index, uint16_t frame, const std::string& fileName);
    // The IconArea inside WorkArea.
    uint8_t* Icon() { return WorkArea; }
    const uint8_t* Icon() const { return WorkArea; }

    // --- Fields, in record order --------------------------------------------
    std::FILE* ImageFile = nullptr;
    bool ImageOpen = false;
    std::string ImageName;
    uint8_t FreeBlocks = 0;
    uint8_t ListedCount = 0;
    uint8_t ListMap[kEntryCount] = {};
    uint8_t WorkArea[kWorkAreaSize] = {};
    uint8_t Device = 0;
    uint8_t Root[kBlockSize] = {};
    SaverEntry Entries[kEntryCount];
    uint16_t Fat[kBlockCount] = {};
    uint8_t Block[kBlockSize] = {};
    uint8_t ChainNext = kChainEnd;
    bool IoError = false;

    // Set by the owner; any may be null.
    LinkPort* Link = nullptr;
    Settings* Config = nullptr;
    CardUi* Ui = nullptr;

    // The image file is open for reading only.
    bool ImageReadOnly = false;

    // Sees every block written, so that a change can be taken back; may be
    // null.
    ChangeRecorder* Journal = nullptr;

    // The image file holds its blocks in natural order (an emulator's card
    // dump) rather than card order; the block store turns them so that the
    // rest of the program sees card order either way. Set by OpenImage from
    // the file's root block (or its table and directory), or from its name
    // when they do not tell (ImageOrderGuessed). On a formatted card a
    // guessed order is unsure (ImageOrderUnsure): every write to the image
    // is refused, as it might go in the wrong order.
    bool ImageNatural = false;
    bool ImageOrderGuessed = false;
    bool ImageOrderUnsure = false;

    // The system blocks the listing was read from (card/SameCard.h).
    ListingCopy Listed;
    // The flock this volume holds on its image file (card/ImageLock.h):
    // 0 none, 1 shared, 2 exclusive. Closing the image lets it go.
    uint8_t ImageLockHeld = 0;

    // The blocks the running command has read from or written to a slot
    // (card/BlockCache.h); empty outside a command.
    BlockCache Cache;

  private:
    // WriteRawBlock without telling the Journal or keeping the listing's
    // copies up to date.
    bool StoreBlock(uint8_t device, uint8_t block, const uint8_t* data512);
    // After the last failed link attempt: auto refresh off, one message;
    // for a verified transfer the Ui hears of it too.
    void ReportLinkFailure(const char* text, bool verified = false);
    // The next block after b, or kChainEnd.
    uint8_t LinkOf(uint8_t block) const;
    // Reads block into out and turns it to natural order.
    bool ReadNatural(uint8_t block, uint8_t* out512);
    // The block of a saver that holds its header (second block of a game).
    uint8_t HeaderBlock(const SaverEntry& entry);
};
