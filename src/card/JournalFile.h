#pragma once

#include "card/CardVolume.h"

#include <cstdint>
#include <string>
#include <vector>

// The stored history of one card: its last changes, each with the system
// blocks (241-255) as they were and as the change left them, the data blocks
// it overwrote that belonged to a saver, and the savers it took off the card.
// One file per card in the journal folder; the file is only ever replaced
// whole, and a damaged tail reads as the changes before it.

constexpr int kSystemBlocks = CardVolume::kBlockCount - CardVolume::kDirLastBlock; // 15
// Changes kept per card, and bytes per card and over all cards.
constexpr size_t kJournalMaxChanges = 64;
constexpr uintmax_t kJournalMaxFileBytes = 2u << 20;
constexpr uintmax_t kJournalMaxTotalBytes = 4u << 20;

using BlockBytes = uint8_t[CardVolume::kBlockSize];

// A saver a change took off the card: its entry, chain and a hash of its data.
struct JournalSaver {
    uint8_t raw[SaverEntry::kSize] = {};
    uint8_t count = 0;
    uint8_t chain[CardVolume::kDirLastBlock] = {};
    uint64_t hash = 0;

    std::string Name() const;
};

struct KeptBlock {
    uint8_t block = 0;
    BlockBytes before = {};
};

struct JournalRecord {
    int64_t time = 0; // seconds since 1970
    std::string command;
    // Card order, index block - 241.
    BlockBytes before[kSystemBlocks] = {};
    BlockBytes after[kSystemBlocks] = {};
    std::vector<KeptBlock> kept;
    std::vector<JournalSaver> removed;

    // Saver names the change took off and put on the card.
    void ChangedSavers(std::vector<std::string>& gone, std::vector<std::string>& added) const;
};

// FNV-1a over bytes.
uint64_t HashBytes(const uint8_t* bytes, size_t count, uint64_t seed = 0xCBF29CE484222325ull);

// The table and directory of a set of system blocks (card order), natural.
struct SystemView {
    uint16_t fat[CardVolume::kBlockCount] = {};
    uint8_t entries[CardVolume::kEntryCount][SaverEntry::kSize] = {};
    uint8_t root[CardVolume::kBlockSize] = {};

    explicit SystemView(const BlockBytes (&system)[kSystemBlocks]);
    // The saver's data blocks as every walk takes them (a game from block 0),
    // at most its size, ending at a system block or a loop. Returns the count.
    int Chain(const uint8_t* raw, uint8_t* out) const;
    static bool InUse(const uint8_t* raw);
};

// The file name (no folder) of a card's history: its root's format stamp,
// and the slot or the image file's path.
std::string JournalKey(const uint8_t* naturalRoot, uint8_t device, const std::string& imagePath);

bool LoadJournal(const std::string& path, std::vector<JournalRecord>& records);
// Keeps the newest kJournalMaxChanges and at most kJournalMaxFileBytes, then
// replaces the file through a temporary one.
bool SaveJournal(const std::string& path, std::vector<JournalRecord>& records);
// Drops whole files, oldest first, until the folder holds at most maxBytes;
// keep is never dropped.
void TrimJournalFolder(const std::string& folder, const std::string& keep, uintmax_t maxBytes);
