#pragma once

#include "card/CardVolume.h"

#include <cstdint>
#include <functional>
#include <string>

// The block work behind every saver-moving command: copy, delete, allocation,
// name lookup and the work file through which the tool windows edit a saver.
// It works on the in-memory Fat and Entries of each volume and writes them back
// only when the blocks have been moved. It never asks the user anything;
// progress goes to the volume's CardFeedback (destination for a copy).

// Text of the status label while a copy runs (six leading blanks).
inline constexpr const char* kCopyingText = "      Copying";
// Name of the work file in the start-up folder.
inline constexpr const char* kWorkFileName = "~ico._";
// Sets the status label; may be empty.
using StatusSink = std::function<void(const std::string&)>;

// Highest allocatable user block (0xFFFC, and reached by no listed saver's
// chain), scanning down from user count - 1.
bool FindFreeBlock(const CardVolume& volume, uint8_t& block);
// Lowest of entries 0..207 whose SizeBlocks is 0.
bool FindFreeEntry(const CardVolume& volume, int& entry);
// First listed saver (list order) whose 12-character Name equals name exactly.
bool FindSaverByName(const CardVolume& volume, const std::string& name, int& entry);

// Builds a chain of size blocks in the in-memory Fat and gives its first
// block. Only blocks marked free that no listed saver's chain reaches are
// taken, so a table that calls a saver's block free never hands it out. A
// data saver runs down through the highest such blocks; a game saver takes
// blocks 0..size-1, which must all be free. When the chain cannot be built
// whole, Fat is left as it was and false is returned.
bool AllocateChain(CardVolume& volume, int size, bool game, uint8_t& first);

// Copies the saver of source entry into destination and writes the
// destination's Fat and directory: ReplaceSaverByCopy (card/ReplaceSaver.h)
// with nothing to replace. True only when the copy took place: a refused
// copy (size 0, not enough room, game blocks taken, no free directory entry,
// a damaged source chain or destination directory) or one that stopped on a
// failed read or write leaves the destination's Fat, Entries and on-card
// tables as they were, so that a move keeps its source.
bool CopySaver(CardVolume& source, int entry, CardVolume& destination,
               const StatusSink& status = nullptr);

// The same by volume index (0 slot 1, 1 slot 2, 2 image file); only the six
// pairs of different volumes are served, any other pair gives false.
bool CopySaverBetween(CardVolume* const volumes[3], int source, int destination, int entry,
                      const StatusSink& status = nullptr);

// Frees the saver's chain, clears its directory entry and writes Fat and
// directory back; then runs refresh when given. The chain is walked as every
// walk is (from block 0 for a game, bounded by the saver's size, ending at a
// system block or a loop), and only its blocks that no other listed saver
// reaches are freed. False when the entry holds no saver, the directory
// chain is damaged or the card is no longer the one listed (ReadyToWrite,
// card/SameCard.h; nothing happens then), or when the table or directory
// could not be written back.
bool DeleteSaver(CardVolume& volume, int entry, const std::function<void()>& refresh = nullptr);

// Whether the saver's entry can be taken off the card: it holds a saver and
// the directory chain is sound and holds it. A move asks this before it
// copies, so that a source it could not delete from changes nothing.
bool SaverDeletable(const CardVolume& volume, int entry);

// Writes the saver's blocks, chain order, natural byte order, to the work
// file. True when all blocks were written; the file stops at a failed read
// or where the chain breaks.
bool ExportSaverToWorkFile(const std::string& path, int entry, CardVolume& volume);

// Writes the work file back over the saver's own blocks (the same walk);
// Fat and directory are not touched. The caller makes sure first that the
// card is still the one listed (SaverStillOnCard). Bytes the file does not cover keep what
// the card had; bytes beyond the saver's size are ignored. Refused with
// nothing written (false) when the saver's chain holds fewer blocks than the
// file covers, for an empty entry, when the write would touch more than the
// saver (WriteBackTouchesOnlySaver, card/SaverOnCard.h), or for a file that
// cannot be opened. True when every block the file covers was written.
bool ImportWorkFileToSaver(const std::string& path, int entry, CardVolume& volume);
