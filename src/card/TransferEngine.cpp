#include "card/TransferEngine.h"

#include "card/CardWriteBack.h"

#include "card/CardUi.h"
#include "link/LinkPort.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>

namespace {

constexpr uint16_t kFree = 0xFFFC;
constexpr uint16_t kLast = 0xFFFA;
constexpr int kBlockBytes = 512;
constexpr int kEntryCount = CardVolume::kEntryCount;

// A link that is not a block number (a marker, or a damaged value) ends every
// walk here, so no value read from a card ever indexes outside Fat.
bool IsBlock(uint16_t link) {
    return link < 256;
}

// A block that can belong to a saver on this card.
bool IsSaverBlock(const CardVolume& volume, uint16_t block) {
    return block < SaverBlockLimit(volume);
}

bool ValidEntry(int entry) {
    return entry >= 0 && entry < kEntryCount;
}

} // namespace

bool FindFreeBlock(const CardVolume& volume, uint8_t& block) {
    for (int b = SaverBlockLimit(volume) - 1; b >= 0; --b) {
        if (volume.Fat[b] == kFree) {
            block = static_cast<uint8_t>(b);
            return true;
        }
    }
    return false;
}

bool FindFreeEntry(const CardVolume& volume, int& entry) {
    for (int i = 0; i < CardVolume::kListedEntries && i < kEntryCount; ++i) {
        if (volume.Entries[i].SizeBlocks == 0) {
            entry = i;
            return true;
        }
    }
    return false;
}

bool FindSaverByName(const CardVolume& volume, const std::string& name, int& entry) {
    const int listed =
        std::min<int>(volume.ListedCount, static_cast<int>(std::size(volume.ListMap)));
    for (int k = 0; k < listed; ++k) {
        const int i = volume.ListMap[k];
        // A saver deleted since the listing is no longer there to be found.
        if (!ValidEntry(i) || volume.Entries[i].SizeBlocks == 0)
            continue;
        if (volume.Entries[i].Name == name) {
            entry = i;
            return true;
        }
    }
    return false;
}

bool AllocateChain(CardVolume& volume, int size, bool game, uint8_t& first) {
    if (size <= 0 || size > 255)
        return false;
    if (game) {
        if (size > SaverBlockLimit(volume))
            return false;
        for (int i = 0; i < size; ++i) {
            if (volume.Fat[i] != kFree)
                return false;
        }
        for (int i = 0; i < size - 1; ++i)
            volume.Fat[i] = static_cast<uint16_t>(i + 1);
        volume.Fat[size - 1] = kLast;
        first = 0;
        return true;
    }
    // Count first: a chain shorter than its directory size would silently cut
    // the saver, so a card with too few free blocks in its table is refused.
    int free = 0;
    for (int b = 0; b < SaverBlockLimit(volume); ++b)
        free += volume.Fat[b] == kFree ? 1 : 0;
    if (free < size)
        return false;
    uint8_t block = 0;
    FindFreeBlock(volume, block);
    // A data saver's entry that names block 0 reads back as an empty slot, so
    // a saver starting there would vanish from the card and leak its block.
    if (block == 0)
        return false;
    first = block;
    for (int remaining = size; remaining > 0; --remaining) {
        volume.Fat[block] = kLast;
        uint8_t next = 0;
        if (remaining > 1 && FindFreeBlock(volume, next)) {
            volume.Fat[block] = next;
            block = next;
        }
    }
    return true;
}

bool CopySaver(CardVolume& source, int entry, CardVolume& destination, const StatusSink& status) {
    if (status)
        status(kCopyingText);
    if (!ValidEntry(entry))
        return false;
    const SaverEntry& from = source.Entries[entry];
    const int n = from.SizeBlocks;
    if (n == 0 || n > destination.FreeBlocks)
        return false;
    // The directory entry is looked for before any block is allocated, so a
    // full directory refuses the copy with nothing changed.
    int d = 0;
    if (!FindFreeEntry(destination, d))
        return false;
    const TableSnapshot before(destination, d);
    uint8_t first = 0;
    if (!AllocateChain(destination, n, from.IsGame, first))
        return false;

    SaverEntry& to = destination.Entries[d];
    std::memcpy(std::data(to.Raw), std::data(from.Raw), 32);
    if (!from.IsGame)
        to.Raw[2] = first;
    to.SizeBlocks = static_cast<uint16_t>(n);
    // The decoded first block must name the new chain at once: a delete of
    // this entry before the next listing would otherwise walk another chain.
    to.FirstBlock = first;
    to.IsGame = from.IsGame;

    ReportProgress(destination, 0, n);
    uint16_t s = from.FirstBlock;
    uint16_t t = first;
    bool readOk = true;
    bool writeOk = true;
    for (int step = 0; step < n && readOk; ++step) {
        if (IsBlock(s) && IsBlock(t)) {
            readOk = source.ReadRawBlock(source.Device, static_cast<uint8_t>(s), destination.Block);
            if (!destination.WriteRawBlock(destination.Device, static_cast<uint8_t>(t),
                                           destination.Block))
                writeOk = false;
            s = source.Fat[s];
            t = destination.Fat[t];
        }
        ReportProgress(destination, step + 1, n);
    }

    // Blocks written so far lie in the new chain, which was free: dropping the
    // allocation leaves the card as it was.
    bool done = readOk && writeOk;
    if (done)
        done = WriteBackTables(destination, before);
    else
        before.Restore(destination);
    ReportProgress(destination, 0, n);
    return done;
}

bool CopySaverBetween(CardVolume* const volumes[3], int source, int destination, int entry,
                      const StatusSink& status) {
    if (source < 0 || source > 2 || destination < 0 || destination > 2 || source == destination)
        return false;
    if (volumes[source] == nullptr || volumes[destination] == nullptr)
        return false;
    return CopySaver(*volumes[source], entry, *volumes[destination], status);
}

bool DeleteSaver(CardVolume& volume, int entry, const std::function<void()>& refresh) {
    if (!ValidEntry(entry) || volume.Entries[entry].SizeBlocks == 0)
        return false;
    const TableSnapshot before(volume, entry);
    SaverEntry& e = volume.Entries[entry];
    uint16_t cur = e.FirstBlock;
    if (IsSaverBlock(volume, cur)) {
        uint16_t next = volume.Fat[cur];
        // Bounded by the saver's size, so a looped chain ends too; a link out
        // of the saver area (a damaged card) never frees a system block.
        for (int steps = e.SizeBlocks;
             steps > 0 && next != kLast && next != kFree && IsSaverBlock(volume, next); --steps) {
            volume.Fat[cur] = kFree;
            cur = next;
            next = volume.Fat[cur];
        }
        // A damaged link ends the chain like an end mark: the block that holds
        // it was reached through this saver's chain and is freed with it.
        if (next == kLast || (next != kFree && !IsSaverBlock(volume, next)))
            volume.Fat[cur] = kFree;
    }
    std::fill(std::begin(e.Raw), std::end(e.Raw), uint8_t{0});
    e.SizeBlocks = 0;
    const bool written = WriteBackTables(volume, before);
    if (refresh)
        refresh();
    return written;
}

bool ExportSaverToWorkFile(const std::string& path, int entry, CardVolume& volume) {
    if (!ValidEntry(entry))
        return false;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return false;
    const SaverEntry& e = volume.Entries[entry];
    const int n = e.SizeBlocks;
    uint16_t b = e.FirstBlock;
    bool ok = true;
    ReportProgress(volume, 0, n);
    for (int step = 0; step < n && ok; ++step) {
        // A chain that ends before the size says leaves a shorter file rather
        // than blocks that belong to no part of the saver.
        if (!IsBlock(b)) {
            ok = false;
            break;
        }
        ok = volume.ReadRawBlock(volume.Device, static_cast<uint8_t>(b), volume.Block);
        if (ok) {
            SwapWords(volume.Block);
            ok = std::fwrite(volume.Block, 1, kBlockBytes, file) == kBlockBytes;
        }
        b = volume.Fat[b];
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
    const SaverEntry& e = volume.Entries[entry];
    if (e.FirstBlock == 0xFF || e.SizeBlocks == 0)
        return false;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return false;
    const int n = e.SizeBlocks;
    uint16_t b = e.FirstBlock;
    bool ok = true;
    bool fileLeft = true;
    uint8_t chunk[kBlockBytes];
    // On a damaged card the chain may run into the system blocks or loop:
    // the work file lands only on saver blocks, each at most once.
    bool written[CardVolume::kBlockCount] = {};
    ReportProgress(volume, 0, n);
    for (int step = 0; step < n; ++step) {
        if (!IsSaverBlock(volume, b) || written[b])
            break;
        written[b] = true;
        if (fileLeft) {
            const size_t got = std::fread(chunk, 1, kBlockBytes, file);
            const auto block = static_cast<uint8_t>(b);
            if (got == kBlockBytes) {
                std::memcpy(volume.Block, chunk, kBlockBytes);
                SwapWords(volume.Block);
                ok = volume.WriteRawBlock(volume.Device, block, volume.Block) && ok;
            } else {
                // The file ends inside this block or before it: what it does not
                // cover keeps the card's bytes, later blocks are not written.
                fileLeft = false;
                if (got > 0) {
                    if (volume.ReadRawBlock(volume.Device, block, volume.Block)) {
                        SwapWords(volume.Block);
                        std::memcpy(volume.Block, chunk, got);
                        SwapWords(volume.Block);
                        ok = volume.WriteRawBlock(volume.Device, block, volume.Block) && ok;
                    } else {
                        ok = false;
                    }
                }
            }
            b = volume.Fat[b];
        }
        ReportProgress(volume, step + 1, n);
    }
    std::fclose(file);
    ReportProgress(volume, 0, n);
    return ok;
}
