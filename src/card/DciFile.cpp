#include "card/DciFile.h"

#include "card/CardUi.h"
#include "card/CardWriteBack.h"
#include "card/TransferEngine.h"
#include "link/LinkPort.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>

namespace {

constexpr int kBlockBytes = CardVolume::kBlockSize;

void Tell(CardVolume& volume, const std::string& text) {
    if (volume.Ui != nullptr)
        volume.Ui->ShowInfo(text);
}

// Closes the file on every way out of the import.
struct FileCloser {
    std::FILE* file;
    ~FileCloser() {
        if (file != nullptr)
            std::fclose(file);
    }
};

long FileLength(std::FILE* file) {
    const long here = std::ftell(file);
    if (here < 0 || std::fseek(file, 0, SEEK_END) != 0)
        return -1;
    const long length = std::ftell(file);
    if (std::fseek(file, here, SEEK_SET) != 0)
        return -1;
    return length;
}

std::string UnreadableText(const std::string& path) {
    return "File " + path + " can not be read.";
}

std::string TooShortText(const std::string& path) {
    return "File " + path + " is shorter than its header says; nothing imported.";
}

} // namespace

bool ExportDci(const std::string& path, int entry, CardVolume& volume) {
    if (entry < 0 || entry >= CardVolume::kEntryCount || volume.Entries[entry].SizeBlocks == 0)
        return false;
    const SaverEntry& e = volume.Entries[entry];
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return false;
    bool ok = std::fwrite(e.Raw, 1, kDciHeaderSize, file) == kDciHeaderSize;
    uint16_t b = e.FirstBlock;
    for (int step = 0; step < e.SizeBlocks && ok; ++step) {
        // A chain that ends early (or a damaged link) stops the file there
        // instead of reading blocks that are not the saver's.
        if (b >= CardVolume::kBlockCount) {
            ok = false;
            break;
        }
        ok = volume.ReadRawBlock(volume.Device, static_cast<uint8_t>(b), volume.Block);
        if (ok)
            ok = std::fwrite(volume.Block, 1, kBlockBytes, file) == kBlockBytes;
        b = volume.Fat[b];
    }
    if (std::fclose(file) != 0)
        ok = false;
    return ok;
}

bool ImportDci(const std::string& path, CardVolume& volume, DciImportResult* result) {
    auto finish = [result](DciImportResult outcome, bool value) {
        if (result != nullptr)
            *result = outcome;
        return value;
    };
    FileCloser in{std::fopen(path.c_str(), "rb")};
    if (in.file == nullptr) {
        Tell(volume, UnreadableText(path));
        return finish(DciImportResult::Unreadable, false);
    }
    const long length = FileLength(in.file);
    uint8_t header[kDciHeaderSize];
    if (std::fread(volume.Block, 1, kDciHeaderSize, in.file) != kDciHeaderSize) {
        Tell(volume, length >= 0 ? TooShortText(path) : UnreadableText(path));
        return finish(length >= 0 ? DciImportResult::TooShort : DciImportResult::Unreadable, false);
    }
    std::memcpy(header, volume.Block, kDciHeaderSize);

    const int n = header[SaverEntry::kSizeOffset];
    if (n == 0 || n > volume.FreeBlocks) {
        Tell(volume, kNotEnoughSpaceText);
        return finish(DciImportResult::NoSpace, false);
    }
    if (length < kDciHeaderSize + static_cast<long>(n) * kBlockBytes) {
        Tell(volume, length < 0 ? UnreadableText(path) : TooShortText(path));
        return finish(length < 0 ? DciImportResult::Unreadable : DciImportResult::TooShort, false);
    }
    // The entry is found before any block is allocated: a full directory
    // refuses the import with nothing changed.
    int d = 0;
    if (!FindFreeEntry(volume, d)) {
        Tell(volume, kNotEnoughSpaceText);
        return finish(DciImportResult::DirectoryFull, false);
    }
    const bool game = header[SaverEntry::kTypeOffset] == SaverEntry::kTypeGame &&
                      header[SaverEntry::kFirstBlockOffset] == 0;

    const TableSnapshot before(volume, d);
    auto restore = [&] { before.Restore(volume); };

    uint8_t first = 0;
    if (!AllocateChain(volume, n, game, first)) {
        if (game)
            return finish(DciImportResult::GameBlocksTaken, true);
        // The table holds fewer free blocks than the listing counted.
        Tell(volume, kNotEnoughSpaceText);
        return finish(DciImportResult::NoSpace, false);
    }
    SaverEntry& to = volume.Entries[d];
    std::memcpy(to.Raw, header, kDciHeaderSize);
    if (!game)
        to.Raw[SaverEntry::kFirstBlockOffset] = first;
    to.SizeBlocks = static_cast<uint16_t>(n);
    to.FirstBlock = first;
    to.IsGame = game;

    ReportProgress(volume, 0, n);
    uint16_t b = first;
    bool readOk = true;
    bool writeOk = true;
    for (int step = 0; step < n && readOk; ++step) {
        if (b < CardVolume::kBlockCount) {
            readOk = std::fread(volume.Block, 1, kBlockBytes, in.file) == kBlockBytes;
            if (readOk &&
                !volume.WriteRawBlock(volume.Device, static_cast<uint8_t>(b), volume.Block))
                writeOk = false;
            b = volume.Fat[b];
        }
        ReportProgress(volume, step + 1, n);
    }
    // Blocks written so far lie in the new chain, which was free: dropping the
    // allocation leaves the card as it was.
    if (!readOk) {
        restore();
        ReportProgress(volume, 0, n);
        Tell(volume, UnreadableText(path));
        return finish(DciImportResult::Unreadable, false);
    }
    const bool done = writeOk ? WriteBackTables(volume, before) : (restore(), false);
    ReportProgress(volume, 0, n);
    if (!done)
        return finish(DciImportResult::WriteFailed, false);
    return finish(DciImportResult::Imported, true);
}

std::string ReadDciName(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return std::string();
    uint8_t header[kDciHeaderSize];
    const size_t got = std::fread(header, 1, kDciHeaderSize, file);
    std::fclose(file);
    if (got != kDciHeaderSize)
        return std::string();
    return std::string(reinterpret_cast<const char*>(header + SaverEntry::kNameOffset),
                       SaverEntry::kNameLength);
}
