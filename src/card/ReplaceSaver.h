#pragma once

#include "card/CardVolume.h"
#include "card/TransferEngine.h"

#include <cstdint>
#include <string>

// Putting a saver on a card, optionally in place of one already there, so
// that no saver is ever lost: every check that can refuse runs before the
// first block is written, the old saver is deleted in the same write-back
// that adds the new one, and the new chain takes the old saver's blocks only
// when the card has no other room.
//
// The window's "Saver NAME Exisit overwrite it ?" -> Yes, and porvane-cli's
// --overwrite, call these instead of DeleteSaver followed by a copy or import.
// They show no message box (the block store still shows its link-error
// message); the result carries the reason for the user.

enum class SaverOutcome : uint8_t {
    Done,             // the saver is on the card (and the old one gone)
    NothingToCopy,    // the source entry holds no saver
    NoSuchOldSaver,   // oldEntry is not a listed saver of the destination
    SameVolume,       // source and destination are one volume
    NoSpace,          // size 0, or more blocks than the card can give
    DirectoryFull,    // all 208 directory entries are in use
    GameBlocksTaken,  // a game's blocks 0..size-1 are not all free
    DirectoryDamaged, // the directory chain leaves the directory blocks
    SourceDamaged,    // the source saver's chain is shorter than its size
    CardDamaged,      // a listed saver's chain on the destination is broken or shared
    FileUnreadable,   // the single-saver file cannot be opened or read
    FileTooShort,     // the file holds fewer blocks than its header says
    ReadFailed,       // a source block could not be read during the copy
    WriteFailed,      // a block, the table or the directory could not be written
    CardChanged,      // a card could not be confirmed as the one listed (changed,
                      // unreadable, or its image held by another program)
};

struct SaverResult {
    SaverOutcome outcome = SaverOutcome::Done;
    // One sentence for the user ("NOT ENOUGH SPACE." for lack of room);
    // empty when done.
    std::string reason;
    // For WriteFailed: whether blocks of the replaced saver had already been
    // overwritten (only when the card had no other room; every source block
    // bound for them is read first, so a failed read never touches them), so
    // that the old saver may be damaged although its entry stands.
    bool oldSaverTouched = false;

    bool Done() const { return outcome == SaverOutcome::Done; }
    // Refused by a check before anything was written: the card, and the
    // volumes' Fat and Entries, are as they were.
    bool Refused() const {
        return outcome != SaverOutcome::Done && outcome != SaverOutcome::ReadFailed &&
               outcome != SaverOutcome::WriteFailed;
    }
};

// Copies the saver in source entry `entry` to destination. oldEntry is a
// listed saver of the destination to replace, or -1 for a plain copy beside
// the others. Checks, before anything is written: a saver in the entry, a
// whole chain on the source, the destination's directory chain, room (the
// listing's FreeBlocks plus the old saver's size, and the blocks the table
// itself can give, the old saver's included), no listed saver of the
// destination with a broken or shared chain (FirstDamagedSaver), a game's
// blocks 0..size-1, a free directory entry, and that both cards are still
// the ones listed (CompareWithListing, card/SameCard.h). Then the blocks go
// over (through the destination's
// Block, progress on its CardFeedback) and one write-back removes the old entry and
// adds the new one. A failed read or write leaves the destination's tables on
// the card and in memory as they were; of its blocks only free ones were
// written, except when the new chain had to take the old saver's blocks and a
// write to them failed (oldSaverTouched). status gets "      Copying" first.
SaverResult ReplaceSaverByCopy(CardVolume& source, int entry, CardVolume& destination, int oldEntry,
                               const StatusSink& status = nullptr);

// The same for a single-saver file (path) placed on volume, replacing
// oldEntry (-1: none). The file must be a regular file holding its header
// and every block its header's size names. A type 0xCC header with byte 3
// zero is a game and lands at block 0 with bytes 2 and 3 of its entry zero;
// any other is data, its byte 2 set to the chain's first block.
SaverResult ReplaceSaverByImport(const std::string& path, CardVolume& volume, int oldEntry);
