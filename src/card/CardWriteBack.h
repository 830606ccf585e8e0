#pragma once

#include "card/CardVolume.h"

// What the engine's writers share: progress reporting, the link's verdict on
// the last transfer, and a write-back of the table and directory that never
// leaves half of a change on the card.

// Progress bar position out of max, repainted at once (no-op without a Ui).
void ReportProgress(CardVolume& volume, int position, int max);

// Over the link, whether the last block transfer failed (the directory write
// reports each block only through LinkFailed).
bool LinkFailedOn(const CardVolume& volume);

// Blocks 0 up to this limit can hold savers: the user block count, but never
// a system block (241 and up), whatever a damaged root says.
int SaverBlockLimit(const CardVolume& volume);

// The in-memory table and one directory entry as they were before a change.
class TableSnapshot {
  public:
    TableSnapshot(const CardVolume& volume, int entryIndex);
    void Restore(CardVolume& volume) const;

  private:
    uint16_t fat_[CardVolume::kBlockCount];
    SaverEntry entry_;
    int index_;
};

// Writes Fat, then the directory. When the directory can't be written after
// the table was, the snapshot goes back into memory and onto the card (as far
// as the card still takes it), so the card never keeps a chain without its
// entry or an entry without its chain. A card without a directory chain is
// refused before anything is written. On false the snapshot is in memory.
bool WriteBackTables(CardVolume& volume, const TableSnapshot& before);
