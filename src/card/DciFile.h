#pragma once

#include "card/CardVolume.h"

#include <string>

// Single-saver files: the saver's 32-byte directory entry (natural order),
// then its blocks in chain order, each exactly as the card holds it (card
// order). No magic number and no trailer: 32 + 512 x size bytes.

inline constexpr int kDciHeaderSize = 32;
inline constexpr const char* kNotEnoughSpaceText = "NOT ENOUGH SPACE.";

// What an import did, for callers that need more than the boolean.
enum class DciImportResult {
    Imported,        // the saver is on the card
    NoSpace,         // size 0, more blocks than the card has free
    DirectoryFull,   // all 208 directory entries in use
    GameBlocksTaken, // a game whose blocks 0..size-1 are not all free: nothing done
    Unreadable,      // the file could not be opened or read
    TooShort,        // the file holds fewer blocks than its header says
    WriteFailed,     // a block, the table or the directory could not be written, or the
                     // directory chain is damaged (then nothing was written)
};

// Writes the saver of the given entry to a single-saver file, its blocks
// walked as every walk is (from block 0 for a game). True when the whole
// saver was written; a failed read, or a chain that breaks before the
// saver's size, leaves a shorter file and gives false. An empty entry or a
// file that cannot be created gives false.
bool ExportDci(const std::string& path, int entry, CardVolume& volume);

// Places the saver of a single-saver file on the volume beside the others:
// ReplaceSaverByImport (card/ReplaceSaver.h) with nothing to replace, its
// refusal told through the volume's CardFeedback ("NOT ENOUGH SPACE." for lack of
// room or of a directory entry; the reason otherwise, unless the block store
// already told of a link failure). A header of type 0xCC with byte 3 zero is
// a game and lands at block 0. Refused or failed imports leave card and
// memory unchanged (a damaged directory chain counts as WriteFailed). The
// result is false when the import was refused or failed, and true when it
// took place or when a game saver found its blocks taken (silently, nothing
// done; the caller refreshes the view then).
bool ImportDci(const std::string& path, CardVolume& volume, DciImportResult* result = nullptr);

// The 12-character name in a single-saver file's header; empty when the file
// cannot be read or is shorter than the header.
std::string ReadDciName(const std::string& path);
