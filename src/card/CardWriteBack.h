#pragma once

#include "card/CardVolume.h"

// What the engine's writers share: progress reporting, the link's verdict on
// the last transfer, and a write-back of the table and directory that never
// leaves a card on which a saver's entry points at blocks the table calls
// free, or at blocks of another saver.

// Progress bar position out of max, repainted at once (no-op without feedback).
void ReportProgress(CardVolume& volume, int position, int max);

// Over the link, whether the last block transfer failed (the directory write
// reports each block only through LinkFailed).
bool LinkFailedOn(const CardVolume& volume);

// Blocks 0 up to this limit can hold savers: the user block count, but never
// a system block (241 and up), whatever a damaged root says.
int SaverBlockLimit(const CardVolume& volume);

// The in-memory table and up to two directory entries as they were before a
// change (a replace changes the old saver's entry and the new one's).
class TableSnapshot {
  public:
    static constexpr int kMaxEntries = 2;
    // entryIndex may be -1 (no entry yet; Keep one later).
    TableSnapshot(const CardVolume& volume, int entryIndex);
    // Remembers another entry before it is changed; false when full.
    bool Keep(const CardVolume& volume, int entryIndex);
    void Restore(CardVolume& volume) const;

    const uint16_t* Fat() const { return fat_; }
    int EntryCount() const { return count_; }
    int EntryIndex(int k) const { return index_[k]; }

  private:
    uint16_t fat_[CardVolume::kBlockCount];
    SaverEntry entry_[kMaxEntries];
    int index_[kMaxEntries] = {-1, -1};
    int count_ = 0;
};

// Writes the change between the snapshot and the volume's Fat and kept
// entries to the card, in an order in which every state the card passes
// through is safe: first a table holding the old and the new chains, then the
// directory blocks of the kept entries, then the final table. An interrupted
// write-back can leave blocks that no saver owns (a card check frees them),
// never an entry whose blocks are free or belong to another saver.
//
// Refused before anything is written when the directory chain is damaged or
// does not hold the kept entries. When a step fails (a write that reports
// failure, or a link that fails afterwards), the snapshot goes back into
// memory and, as far as the card still takes it, onto the card. When only
// the last step failed: a change that only frees blocks (a delete) is rolled
// back the same way, so the card is as it was; any other change stays (its
// directory is on the card) and the result is still false. True when every step went through.
bool WriteBackTables(CardVolume& volume, const TableSnapshot& before);

// The same, telling the two ways of failing apart.
enum class WriteBackOutcome {
    Written,    // the change is on the card
    RolledBack, // refused or failed: the snapshot is back in memory
    Leftovers,  // the change (one that adds a chain) is on the card, but the final table is not:
                // blocks of the old state belong to no saver until a check
                // frees them; memory holds the change
};
WriteBackOutcome WriteBackChange(CardVolume& volume, const TableSnapshot& before);
