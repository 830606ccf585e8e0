#include "card/TransferEngine.h"

#include "base/SafeFile.h"

#include "card/CardWriteBack.h"
#include "card/ChangeRecorder.h"
#include "card/ReplaceSaver.h"
#include "card/SameCard.h"
#include "card/SaverChains.h"
#include "card/SaverOnCard.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kBlockBytes = CardVolume::kBlockSize;
constexpr int kEntryCount = CardVolume::kEntryCount;

bool ValidEntry(int entry) {
    return entry >= 0 && entry < kEntryCount;
}

} // namespace

bool FindFreeBlock(const CardVolume& volume, uint8_t& block) {
    BlockOwners owners;
    MapOwners(volume, owners);
    for (int b = SaverBlockLimit(volume) - 1; b >= 0; --b) {
        if (IsAllocatable(volume, owners, b)) {
            block = static_cast<uint8_t>(b);
            return true;
        }
    }
    return false;
}

bool FindFreeEntry(const CardVolume& volume, int& entry) {
    for (int i = 0; i < CardVolume::kListedEntries && i < kEntryCount; ++i) {
        if (volume.Entries()[i].SizeBlocks == 0) {
            entry = i;
            return true;
        }
    }
    return false;
}

bool FindSaverByName(const CardVolume& volume, const std::string& name, int& entry) {
    const int listed =
        std::min<int>(volume.ListedCount(), static_cast<int>(std::size(volume.ListMap())));
    for (int k = 0; k < listed; ++k) {
        const int i = volume.ListMap()[k];
        // A saver deleted since the listing is no longer there to be found.
        if (!ValidEntry(i) || volume.Entries()[i].SizeBlocks == 0)
            continue;
        if (volume.Entries()[i].Name == name) {
            entry = i;
            return true;
        }
    }
    return false;
}

bool AllocateChain(CardVolume& volume, int size, bool game, uint8_t& first) {
    BlockOwners owners;
    MapOwners(volume, owners);
    return AllocateAvoiding(volume, size, game, owners, nullptr, first);
}

bool CopySaver(CardVolume& source, int entry, CardVolume& destination, const StatusSink& status) {
    return ReplaceSaverByCopy(source, entry, destination, -1, status).Done();
}

bool CopySaverBetween(CardVolume* const volumes[3], int source, int destination, int entry,
                      const StatusSink& status) {
    if (source < 0 || source > 2 || destination < 0 || destination > 2 || source == destination)
        return false;
    if (volumes[source] == nullptr || volumes[destination] == nullptr)
        return false;
    return CopySaver(*volumes[source], entry, *volumes[destination], status);
}

bool SaverDeletable(const CardVolume& volume, int entry) {
    if (!ValidEntry(entry) || volume.Entries()[entry].SizeBlocks == 0)
        return false;
    DirectoryChain dir;
    WalkDirectory(volume, dir);
    return dir.sound && dir.Holds(entry);
}

bool DeleteSaver(CardVolume& volume, int entry, const std::function<void()>& refresh) {
    if (!SaverDeletable(volume, entry))
        return false;
    if (!ReadyToWrite(volume)) {
        if (refresh)
            refresh();
        return false;
    }
    ChangeScope change(volume, "delete " + RawSaverName(volume.Entries()[entry].Raw));
    const TableSnapshot before(volume, entry);
    SaverChain chain;
    WalkSaverChain(volume, volume.Entries()[entry], chain);
    // A block another saver reaches too (a cross-linked table) stays with it.
    BlockOwners others;
    MapOwners(volume, others, entry);
    for (int k = 0; k < chain.count; ++k) {
        if (!others.Owned(chain.blocks[k]))
            volume.Fat()[chain.blocks[k]] = CardVolume::kFatFree;
    }
    volume.Entries()[entry].Clear();
    const bool written = WriteBackTables(volume, before);
    if (refresh)
        refresh();
    return written;
}

bool ExportSaverToWorkFile(const std::string& path, int entry, CardVolume& volume) {
    if (!ValidEntry(entry))
        return false;
    std::FILE* file = OpenStreamForWriting(path);
    if (file == nullptr)
        return false;
    SaverChain chain;
    WalkSaverChain(volume, volume.Entries()[entry], chain);
    const int n = volume.Entries()[entry].SizeBlocks;
    // A chain that breaks before the size says leaves a shorter file rather
    // than blocks that belong to no part of the saver.
    bool ok = chain.count == n;
    ReportProgress(volume, 0, n);
    for (int step = 0; step < chain.count; ++step) {
        if (!volume.ReadRawBlock(volume.Device(), chain.blocks[step], volume.Block())) {
            ok = false;
            break;
        }
        SwapWords(volume.Block());
        if (std::fwrite(volume.Block(), 1, kBlockBytes, file) != kBlockBytes) {
            ok = false;
            break;
        }
        ReportProgress(volume, step + 1, n);
    }
    if (std::fclose(file) != 0)
        ok = false;
    ReportProgress(volume, 0, n);
    return ok;
}

bool ImportWorkFileToSaver(const std::string& path, int entry, CardVolume& volume) {
    if (!ValidEntry(entry))
        return false;
    const SaverEntry& e = volume.Entries()[entry];
    if (!WriteBackTouchesOnlySaver(volume, entry))
        return false;
    // Only the file the export made, or one this user put there: not one
    // another user slipped under the name (nor a FIFO that would block).
    const int fd = OpenFileForReading(path, true);
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0) {
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    const auto length = static_cast<uintmax_t>(info.st_size);
    const int n = e.SizeBlocks;
    const int covered =
        static_cast<int>(std::min<uintmax_t>((length + kBlockBytes - 1) / kBlockBytes, n));
    SaverChain chain;
    WalkSaverChain(volume, e, chain);
    // On a damaged card the chain may break before the file ends: nothing is
    // written then, rather than part of the edit reported as saved.
    std::FILE* file = chain.count < covered ? nullptr : ::fdopen(fd, "rb");
    if (file == nullptr) {
        ::close(fd);
        return false;
    }
    ChangeScope change(volume, "tool write-back " + RawSaverName(e.Raw));
    bool ok = true;
    uint8_t chunk[kBlockBytes];
    ReportProgress(volume, 0, n);
    for (int step = 0; step < covered; ++step) {
        const uint8_t block = chain.blocks[step];
        const size_t got = std::fread(chunk, 1, kBlockBytes, file);
        if (got == static_cast<size_t>(kBlockBytes)) {
            std::memcpy(volume.Block(), chunk, kBlockBytes);
            SwapWords(volume.Block());
            ok = volume.WriteRawBlock(volume.Device(), block, volume.Block()) && ok;
        } else if (got > 0) {
            // The file ends inside this block: what it does not cover keeps
            // the card's bytes.
            if (volume.ReadRawBlock(volume.Device(), block, volume.Block())) {
                SwapWords(volume.Block());
                std::memcpy(volume.Block(), chunk, got);
                SwapWords(volume.Block());
                ok = volume.WriteRawBlock(volume.Device(), block, volume.Block()) && ok;
            } else {
                ok = false;
            }
        } else {
            ok = false; // the file shrank since it was measured
        }
        ReportProgress(volume, step + 1, n);
    }
    std::fclose(file);
    ReportProgress(volume, 0, n);
    return ok;
}
