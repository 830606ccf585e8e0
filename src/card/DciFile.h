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
    WriteFailed,     // a block, the table or the directory could not be written
};

// Writes the saver of the given entry to a single-saver file. True when the
// whole saver was written; a failed read, or a chain that ends before the
// saver's size, leaves a shorter file and gives false. An empty entry or a
// file that cannot be created gives false.
bool ExportDci(const std::string& path, int entry, CardVolume& volume);

// Places the saver of a single-saver file on the volume: allocates its chain,
// takes the lowest free directory entry, writes the blocks, then the table and
// the directory. Refusals are told through the volume's CardUi ("NOT ENOUGH
// SPACE." for lack of room; a message naming the file when it cannot be read
// or is shorter than its header says) and leave card and memory unchanged.
// The result is false when the import was refused or failed, and true when it
// took place or when a game saver found its blocks taken (silently, nothing
// done; the caller refreshes the view then).
bool ImportDci(const std::string& path, CardVolume& volume, DciImportResult* result = nullptr);

// The 12-character name in a single-saver file's header; empty when the file
// cannot be read or is shorter than the header.
std::string ReadDciName(const std::string& path);
