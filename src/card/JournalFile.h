#pragma once

#include "card/CardVolume.h"

#include <cstdint>
#include <string>
#include <vector>

// The stored history of one card: its last changes, each with the system
// blocks (241-255) as they were and as the change left them, the data blocks
// it overwrote that belonged to a saver, the savers it took off the card, and
// a few data blocks as it left them (probes), which tell this card from
// another whose system blocks happen to read the same. Every record carries a
// checksum and is refused whole when it does not match, or when what it says
// does not hold together. A history file is named by the card's place (the
// slot, or the image file) and by the card as the last change left it; it is
// only ever replaced whole.

constexpr int kSystemBlocks = CardVolume::kBlockCount - CardVolume::kDirLastBlock; // 15
// Changes kept per card, and bytes per card and over all cards.
constexpr size_t kJournalMaxChanges = 64;
constexpr uintmax_t kJournalMaxFileBytes = 2u << 20;
constexpr uintmax_t kJournalMaxTotalBytes = 4u << 20;
// Data blocks a record keeps as the change left them.
constexpr size_t kJournalMaxProbes = 4;

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

// A data block and the hash of what it held when the change was done.
struct JournalProbe {
    uint8_t block = 0;
    uint64_t hash = 0;
};

struct JournalRecord {
    int64_t time = 0; // seconds since 1970
    std::string command;
    // Card order, index block - 241.
    BlockBytes before[kSystemBlocks] = {};
    BlockBytes after[kSystemBlocks] = {};
    std::vector<KeptBlock> kept;
    std::vector<JournalSaver> removed;
    std::vector<JournalProbe> probes;

    // Saver names the change took off and put on the card, raw.
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
    // Blocks 0 up to this can hold savers: the root's count, never beyond 241.
    int UserBlocks() const;
    static bool InUse(const uint8_t* raw);
};

// Whether a saver's chain in view is all of it: its size from its first
// block, inside the user area.
bool SaverWhole(const SystemView& view, const JournalSaver& saver);

// Whether what a record says holds together: every removed saver's entry
// stands in the directory as it was, with the chain the table gave it, no
// block twice; one that can be brought back (a hash) is whole (SaverWhole);
// and every kept block and probe is a data block, each once.
bool RecordSound(const JournalRecord& record);

// The hash of a card's system blocks (card order).
uint64_t SystemFingerprint(const BlockBytes (&system)[kSystemBlocks]);

// A card's place, which begins the name of its history files: "slot1",
// "slot2", or "image-" and a hash of the image file's full path.
std::string JournalLocation(uint8_t device, const std::string& imagePath);
// The name (no folder) of the history whose last change is record: the
// place, the fingerprint of the system blocks it left and one of its probes.
std::string JournalFileName(const std::string& location, const JournalRecord& last);
// The history files of a place whose last change left the system blocks with
// this fingerprint (full paths; usually none or one).
std::vector<std::string> JournalCandidates(const std::string& folder, const std::string& location,
                                           uint64_t fingerprint);

// Reads the records of a history, oldest first. A record whose checksum or
// contents do not hold is left out; a tail that breaks off ends the reading.
bool LoadJournal(const std::string& path, std::vector<JournalRecord>& records);
// Keeps the newest kJournalMaxChanges and at most kJournalMaxFileBytes, then
// replaces the file through a temporary one.
bool SaveJournal(const std::string& path, std::vector<JournalRecord>& records);
// Drops whole files, oldest first, until the folder holds at most maxBytes;
// keep is never dropped.
void TrimJournalFolder(const std::string& folder, const std::string& keep, uintmax_t maxBytes);
