#include "card/CardWriteBack.h"

#include "card/CardFeedback.h"
#include "card/ChangeRecorder.h"
#include "card/SaverChains.h"
#include "card/SystemBlocks.h"
#include "link/LinkPort.h"

#include <algorithm>
#include <cstring>
#include <iterator>

void ReportProgress(CardVolume& volume, int position, int max) {
    if (volume.Store().Feedback() == nullptr)
        return;
    volume.Store().Feedback()->SetProgress(position, max);
    volume.Store().Feedback()->Repaint();
}

bool LinkFailedOn(const CardVolume& volume) {
    return volume.Place() != CardPlace::Image && volume.Store().Link() != nullptr &&
           volume.Store().Link()->LinkFailed;
}

int SaverBlockLimit(const CardVolume& volume) {
    return std::min<int>(volume.UserBlocks(), CardVolume::kDirLastBlock);
}

TableSnapshot::TableSnapshot(const CardVolume& volume, int entryIndex) {
    std::copy(std::begin(volume.Fat()), std::end(volume.Fat()), fat_);
    Keep(volume, entryIndex);
}

bool TableSnapshot::Keep(const CardVolume& volume, int entryIndex) {
    if (entryIndex < 0 || entryIndex >= CardVolume::kEntryCount)
        return true;
    for (int k = 0; k < count_; ++k) {
        if (index_[k] == entryIndex)
            return true;
    }
    if (count_ == kMaxEntries)
        return false;
    entry_[count_] = volume.Entries()[entryIndex];
    index_[count_] = entryIndex;
    ++count_;
    return true;
}

void TableSnapshot::Restore(CardVolume& volume) const {
    std::copy(std::begin(fat_), std::end(fat_), std::begin(volume.Fat()));
    for (int k = count_ - 1; k >= 0; --k)
        volume.Entries()[index_[k]] = entry_[k];
}

namespace {

bool WriteTable(CardVolume& volume) {
    return volume.WriteFat() && !LinkFailedOn(volume);
}

// Directory block k of the chain from the entries in memory, card order.
void DirectoryBlockBytes(const CardVolume& volume, int k, uint8_t* block) {
    std::memset(block, 0, CardVolume::kBlockSize);
    for (int j = 0; j < CardVolume::kEntriesPerBlock; ++j) {
        const int n = k * CardVolume::kEntriesPerBlock + j;
        if (n < CardVolume::kEntryCount)
            std::memcpy(block + SaverEntry::kSize * j, volume.Entries()[n].Raw, SaverEntry::kSize);
    }
    SwapWords(block);
}

// Writes directory block k of the chain from the entries in memory.
bool WriteDirectoryBlock(CardVolume& volume, const DirectoryChain& dir, int k) {
    uint8_t block[CardVolume::kBlockSize];
    DirectoryBlockBytes(volume, k, block);
    return volume.WriteRawBlock(volume.Device(), dir.blocks[k], block) && !LinkFailedOn(volume);
}

// Tells the history what the change leaves in the table and the directory
// blocks of the kept entries.
void PlanWriteBack(CardVolume& volume, const DirectoryChain& dir, const TableSnapshot& kept) {
    uint8_t block[CardVolume::kBlockSize];
    EncodeFat(volume.Fat(), block);
    PlanBlock(volume, CardVolume::kFatBlock, block);
    for (int e = 0; e < kept.EntryCount(); ++e) {
        const int k = kept.EntryIndex(e) / CardVolume::kEntriesPerBlock;
        DirectoryBlockBytes(volume, k, block);
        PlanBlock(volume, dir.blocks[k], block);
    }
}

// The directory blocks that hold the snapshot's entries, each once.
bool WriteKeptEntries(CardVolume& volume, const DirectoryChain& dir, const TableSnapshot& kept) {
    int written[TableSnapshot::kMaxEntries];
    int count = 0;
    for (int e = 0; e < kept.EntryCount(); ++e) {
        const int k = kept.EntryIndex(e) / CardVolume::kEntriesPerBlock;
        if (std::find(written, written + count, k) != written + count)
            continue;
        if (!WriteDirectoryBlock(volume, dir, k))
            return false;
        written[count++] = k;
    }
    return true;
}

} // namespace

WriteBackOutcome WriteBackChange(CardVolume& volume, const TableSnapshot& before) {
    // The directory is found through its chain in the table being written;
    // a chain that leaves the directory blocks would write entries over a
    // saver's data.
    DirectoryChain dir;
    WalkDirectory(volume, dir);
    bool holds = dir.sound;
    for (int e = 0; e < before.EntryCount(); ++e)
        holds = holds && dir.Holds(before.EntryIndex(e));
    if (!holds) {
        before.Restore(volume);
        return WriteBackOutcome::RolledBack;
    }

    PlanWriteBack(volume, dir, before);
    uint16_t after[CardVolume::kBlockCount];
    std::copy(std::begin(volume.Fat()), std::end(volume.Fat()), after);
    // A block stays allocated while either the old or the new state holds it.
    uint16_t bridge[CardVolume::kBlockCount];
    for (int b = 0; b < CardVolume::kBlockCount; ++b)
        bridge[b] = after[b] != CardVolume::kFatFree ? after[b] : before.Fat()[b];
    const bool bridgeNeeded = !std::equal(bridge, bridge + CardVolume::kBlockCount, before.Fat());
    const bool finalNeeded = !std::equal(after, after + CardVolume::kBlockCount, bridge);

    auto rollBack = [&](bool tableTouched, bool directoryTouched) {
        before.Restore(volume);
        // The old table goes back only over the old directory: the old table
        // under new entries would free their blocks.
        if (directoryTouched && !WriteKeptEntries(volume, dir, before))
            return WriteBackOutcome::RolledBack;
        if (tableTouched)
            (void)WriteTable(volume);
        return WriteBackOutcome::RolledBack;
    };

    if (bridgeNeeded) {
        std::copy(bridge, bridge + CardVolume::kBlockCount, volume.Fat());
        if (!WriteTable(volume))
            return rollBack(true, false);
    }
    std::copy(after, after + CardVolume::kBlockCount, volume.Fat());
    if (!WriteKeptEntries(volume, dir, before))
        return rollBack(bridgeNeeded, true);
    if (finalNeeded && !WriteTable(volume)) {
        // When the card's table is still the old one (a delete only frees),
        // the old entries go back over the new: the card is then as it was,
        // rather than short of a saver whose blocks nobody owns.
        if (!bridgeNeeded)
            return rollBack(false, true);
        return WriteBackOutcome::Leftovers;
    }
    return WriteBackOutcome::Written;
}

bool WriteBackTables(CardVolume& volume, const TableSnapshot& before) {
    return WriteBackChange(volume, before) == WriteBackOutcome::Written;
}
