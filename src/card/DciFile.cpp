#include "card/DciFile.h"

#include "base/SafeFile.h"

#include "card/CardFeedback.h"
#include "card/CardWriteBack.h"
#include "card/ReplaceSaver.h"
#include "card/SaverChains.h"
#include "card/TransferEngine.h"
#include "link/LinkPort.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iterator>

namespace {

constexpr int kBlockBytes = CardVolume::kBlockSize;

void Tell(CardVolume& volume, const std::string& text) {
    if (volume.Store().Feedback() != nullptr)
        volume.Store().Feedback()->ShowInfo(text);
}

} // namespace

bool ExportDci(const std::string& path, int entry, CardVolume& volume) {
    if (entry < 0 || entry >= CardVolume::kEntryCount || volume.Entries()[entry].SizeBlocks == 0)
        return false;
    const SaverEntry& e = volume.Entries()[entry];
    std::FILE* file = OpenStreamForWriting(path);
    if (file == nullptr)
        return false;
    SaverChain chain;
    WalkSaverChain(volume, e, chain);
    // A chain that breaks early stops the file there instead of reading
    // blocks that are not the saver's.
    bool ok = std::fwrite(e.Raw, 1, kDciHeaderSize, file) == kDciHeaderSize;
    for (int step = 0; step < chain.count && ok; ++step) {
        ok = volume.ReadRawBlock(volume.Device(), chain.blocks[step], volume.Block());
        if (ok)
            ok = std::fwrite(volume.Block(), 1, kBlockBytes, file) == kBlockBytes;
    }
    if (std::fclose(file) != 0)
        ok = false;
    return ok && chain.count == e.SizeBlocks;
}

bool ImportDci(const std::string& path, CardVolume& volume, DciImportResult* result) {
    const SaverResult placed = ReplaceSaverByImport(path, volume, -1);
    DciImportResult outcome = DciImportResult::WriteFailed;
    switch (placed.outcome) {
    case SaverOutcome::Done:
        outcome = DciImportResult::Imported;
        break;
    case SaverOutcome::NoSpace:
        outcome = DciImportResult::NoSpace;
        break;
    case SaverOutcome::DirectoryFull:
        outcome = DciImportResult::DirectoryFull;
        break;
    case SaverOutcome::GameBlocksTaken:
        outcome = DciImportResult::GameBlocksTaken;
        break;
    case SaverOutcome::FileUnreadable:
    case SaverOutcome::ReadFailed:
        outcome = DciImportResult::Unreadable;
        break;
    case SaverOutcome::FileTooShort:
        outcome = DciImportResult::TooShort;
        break;
    default:
        outcome = DciImportResult::WriteFailed;
        break;
    }
    if (result != nullptr)
        *result = outcome;
    switch (outcome) {
    case DciImportResult::Imported:
        return true;
    case DciImportResult::GameBlocksTaken:
        // Nothing done and nothing said; the caller refreshes the view.
        return true;
    case DciImportResult::NoSpace:
    case DciImportResult::DirectoryFull:
        Tell(volume, kNotEnoughSpaceText);
        return false;
    default:
        // The block store has told of a link failure itself.
        if (!LinkFailedOn(volume))
            Tell(volume, placed.reason);
        return false;
    }
}

std::string ReadDciName(const std::string& path) {
    // Opening a FIFO would wait for a writer.
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec))
        return std::string();
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
