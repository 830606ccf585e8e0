#pragma once

#include "card/CardBlockStore.h"
#include "card/CardLayout.h"
#include "card/CardListing.h"
#include "card/CardPlace.h"
#include "card/CardTables.h"
#include "card/SaverEntry.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

// One memory card as the program holds it: slot 1, slot 2 or an image file.
// Three parts, each with fixed-size buffers: the block store (Store: the
// blocks, and the link, image file, cache and lock it takes to reach them),
// the file-system tables (Tables: root, table, entries) and the listing
// (Listing: what a view shows). The volume joins them: its operations read
// and write the tables through the store. Its own accessors are the record's
// names everyone uses (Device, ImageName, Root, Fat, Entries, ListMap, ...);
// anything else is asked of the part that holds it. The main window holds
// three volumes by value for the whole run.
class CardVolume : public CardLayout {
  public:
    using FatTable = CardTables::FatTable;
    using EntryTable = CardTables::EntryTable;
    using ListMapTable = CardListing::ListMapTable;
    using WorkBytes = CardBlockStore::WorkBytes;

    CardVolume() = default;
    CardVolume(const CardVolume&) = delete;
    CardVolume& operator=(const CardVolume&) = delete;

    // --- Parts ----------------------------------------------------------------
    CardBlockStore& Store() { return store_; }
    const CardBlockStore& Store() const { return store_; }
    CardTables& Tables() { return tables_; }
    const CardTables& Tables() const { return tables_; }
    CardListing& Listing() { return listing_; }
    const CardListing& Listing() const { return listing_; }

    // --- Place ----------------------------------------------------------------
    CardPlace Place() const { return store_.Place(); }
    void SetPlace(CardPlace place) { store_.SetPlace(place); }
    // The number every block transfer of this volume passes: the slot the
    // link reads (0 or 1), 2 for the image file.
    uint8_t Device() const { return store_.Device(); }

    // --- Block store ------------------------------------------------------------
    bool OpenImage(const std::string& fileName) { return store_.OpenImage(fileName); }
    void CloseImage() { store_.CloseImage(); }
    std::FILE* ImageFile() const { return store_.ImageFile(); }
    bool ImageOpen() const { return store_.ImageOpen(); }
    const std::string& ImageName() const { return store_.ImageName(); }
    // One block in card order; device is always this volume's Device
    // (CardBlockStore::ReadRawBlock).
    bool ReadRawBlock(uint8_t device, uint8_t block, uint8_t* out512) {
        return store_.ReadRawBlock(device, block, out512);
    }
    bool ReadFreshBlock(uint8_t device, uint8_t block, uint8_t* out512) {
        return store_.ReadFreshBlock(device, block, out512);
    }
    bool ReadBlockOnce(uint8_t device, uint8_t block, uint8_t* out512) {
        return store_.ReadBlockOnce(device, block, out512);
    }
    // Writes one block, telling the history recorder before and after, and
    // keeping the listing's copy of the system blocks up to date.
    bool WriteRawBlock(uint8_t device, uint8_t block, const uint8_t* data512);
    WorkBytes& WorkArea() { return store_.WorkArea(); }
    const WorkBytes& WorkArea() const { return store_.WorkArea(); }

    // --- File system ------------------------------------------------------------
    BlockBytes& Root() { return tables_.Root(); }
    const BlockBytes& Root() const { return tables_.Root(); }
    FatTable& Fat() { return tables_.Fat(); }
    const FatTable& Fat() const { return tables_.Fat(); }
    EntryTable& Entries() { return tables_.Entries(); }
    const EntryTable& Entries() const { return tables_.Entries(); }
    BlockBytes& Block() { return tables_.Block(); }
    const BlockBytes& Block() const { return tables_.Block(); }
    uint8_t ChainNext() const { return tables_.ChainNext(); }
    bool IoError() const { return tables_.IoError(); }

    // Root and FAT transfers set IoError; the result is !IoError.
    bool ReadRoot();
    bool WriteRoot();
    bool ReadFat();
    bool WriteFat();
    // Chain walk over FAT links; ChainNext is the block the next step returns.
    bool StartChain(uint8_t& block) { return tables_.StartChain(block); }
    bool NextInChain(uint8_t& block) { return tables_.NextInChain(block); }
    // CardTables::CollectChain.
    int CollectChain(uint8_t first, uint8_t* out, int maxBlocks) const {
        return tables_.CollectChain(first, out, maxBlocks);
    }
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
    void RepairSystemChains() { tables_.RepairSystemChains(); }
    bool IsFormatted() const { return tables_.IsFormatted(); }
    uint8_t UserBlocks() const { return tables_.UserBlocks(); }

    // --- Listing ----------------------------------------------------------------
    uint8_t FreeBlocks() const { return listing_.FreeBlocks(); }
    uint8_t ListedCount() const { return listing_.ListedCount(); }
    const ListMapTable& ListMap() const { return listing_.ListMap(); }

    // --- Icons ------------------------------------------------------------------
    // Palette entries 0..15 of the icon area from the saver's header.
    void ReadPalette(int index);
    // Frame `frame` of the saver's icon as a bitmap file; false when there is
    // nothing to extract or the file could not be written whole.
    bool ExtractIcon(uint8_t index, uint16_t frame, const std::string& fileName);
    // The IconArea inside WorkArea.
    uint8_t* Icon() { return store_.WorkArea(); }
    const uint8_t* Icon() const { return store_.WorkArea(); }

  private:
    // Reads block into out and turns it to natural order.
    bool ReadNatural(uint8_t block, uint8_t* out512);
    // The block of a saver that holds its header (second block of a game).
    uint8_t HeaderBlock(const SaverEntry& entry);

    CardBlockStore store_;
    CardTables tables_;
    CardListing listing_;
};
