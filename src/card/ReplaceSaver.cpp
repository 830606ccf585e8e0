#include "card/ReplaceSaver.h"

#include "card/CardWriteBack.h"
#include "card/ChangeRecorder.h"
#include "card/DciFile.h"
#include "card/SameCard.h"
#include "card/SaverChains.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <system_error>

namespace {

constexpr int kBlockBytes = CardVolume::kBlockSize;

SaverResult Outcome(SaverOutcome outcome, std::string reason) {
    SaverResult result;
    result.outcome = outcome;
    result.reason = std::move(reason);
    return result;
}

bool IsListed(const CardVolume& volume, int entry) {
    return entry >= 0 && entry < CardVolume::kListedEntries &&
           volume.Entries()[entry].SizeBlocks > 0;
}

// The new saver's place: its entry and chain, and which of the chain's
// blocks belonged to the saver it replaces.
struct Plan {
    int entry = -1;
    SaverChain chain;
    bool reused[CardVolume::kBlockCount] = {};
};

// Every check that can refuse, with the change made in memory only: the old
// saver freed (its blocks that no other saver reaches), the new chain built,
// the new entry filled. On refusal, memory is restored from before.
SaverResult PlanPlacement(CardVolume& volume, const uint8_t* raw, int size, int oldEntry,
                          TableSnapshot& before, Plan& plan) {
    DirectoryChain dir;
    WalkDirectory(volume, dir);
    if (!dir.sound || (oldEntry >= 0 && !dir.Holds(oldEntry)))
        return Outcome(SaverOutcome::DirectoryDamaged,
                       "The card's directory is damaged; nothing was written.");
    // Blocks after a broken chain may still be its saver's, whatever the
    // table says: nothing is handed out until the card is checked.
    const int damaged = FirstDamagedSaver(volume);
    const std::string damage = damaged >= 0 ? DamagedSaverText(volume, damaged) : "";
    int listedFree = volume.FreeBlocks();
    if (oldEntry >= 0) {
        SaverChain old;
        WalkSaverChain(volume, volume.Entries()[oldEntry], old);
        BlockOwners others;
        MapOwners(volume, others, oldEntry);
        for (int k = 0; k < old.count; ++k) {
            const uint8_t b = old.blocks[k];
            if (!others.Owned(b)) {
                volume.Fat()[b] = CardVolume::kFatFree;
                plan.reused[b] = true;
            }
        }
        listedFree += volume.Entries()[oldEntry].SizeBlocks;
        volume.Entries()[oldEntry].Clear();
    }
    auto refuse = [&](SaverOutcome outcome, std::string reason) {
        before.Restore(volume);
        return Outcome(outcome, std::move(reason));
    };
    if (size <= 0 || size > listedFree)
        return refuse(SaverOutcome::NoSpace, kNotEnoughSpaceText);
    int d = 0;
    if (!FindFreeEntry(volume, d) || !dir.Holds(d) || !before.Keep(volume, d))
        return refuse(SaverOutcome::DirectoryFull, "The card's directory has no free entry.");
    if (damaged >= 0)
        return refuse(SaverOutcome::CardDamaged, damage);
    const bool game = SaverEntry::IsGameRaw(raw);
    BlockOwners owners;
    MapOwners(volume, owners);
    uint8_t first = 0;
    if (!AllocateAvoiding(volume, size, game, owners, plan.reused, first)) {
        if (game)
            return refuse(SaverOutcome::GameBlocksTaken,
                          "Blocks 0 to " + std::to_string(size - 1) +
                              ", which the game saver needs, are in use.");
        return refuse(SaverOutcome::NoSpace, kNotEnoughSpaceText);
    }
    SaverEntry& to = volume.Entries()[d];
    to.Clear();
    std::memcpy(to.Raw, raw, SaverEntry::kSize);
    if (game) {
        to.Raw[SaverEntry::kFirstBlockOffset] = 0;
        to.Raw[SaverEntry::kFirstBlockOffset + 1] = 0;
    } else {
        to.Raw[SaverEntry::kFirstBlockOffset] = first;
    }
    // The decoded fields that the engine walks by, so that a delete or copy
    // of the new saver before the next listing finds its chain.
    to.Name.assign(reinterpret_cast<const char*>(to.Raw + SaverEntry::kNameOffset),
                   SaverEntry::kNameLength);
    to.SizeBlocks = static_cast<uint16_t>(size);
    to.FirstBlock = first;
    to.IsGame = game;
    plan.entry = d;
    WalkChain(volume, first, size, plan.chain);
    return Outcome(SaverOutcome::Done, "");
}

// Block i of the new saver (chain order) into out, card order.
using BlockReader = std::function<bool(int index, uint8_t* out512)>;

// Moves the blocks, then writes the tables back. The chain's blocks that
// were free go first. Blocks of the replaced saver are written last, and only
// once every source block bound for them has been read, so that a source that
// cannot be read never damages the saver it would replace.
SaverResult CarryOut(CardVolume& volume, const Plan& plan, const TableSnapshot& before,
                     const BlockReader& read, const std::string& readFailure) {
    const int n = plan.chain.count;
    int reusedCount = 0;
    for (int i = 0; i < n; ++i)
        reusedCount += plan.reused[plan.chain.blocks[i]] ? 1 : 0;
    // One buffer for the whole operation, and only when the card had no
    // other room.
    std::unique_ptr<uint8_t[]> held;
    if (reusedCount > 0)
        held = std::make_unique<uint8_t[]>(static_cast<size_t>(reusedCount) * kBlockBytes);

    bool touched = false;
    auto fail = [&](SaverOutcome outcome, std::string reason) {
        before.Restore(volume);
        ReportProgress(volume, 0, n);
        SaverResult failed = Outcome(outcome, std::move(reason));
        failed.oldSaverTouched = touched;
        failed.reason += touched ? " Blocks of the saver being replaced were overwritten."
                                 : " The card's savers were not changed.";
        return failed;
    };
    auto write = [&](uint8_t block, const uint8_t* data) {
        std::memcpy(volume.Block(), data, kBlockBytes);
        return volume.WriteRawBlock(volume.Device(), block, volume.Block()) &&
               !LinkFailedOn(volume);
    };

    ReportProgress(volume, 0, n);
    int done = 0;
    int k = 0;
    for (int i = 0; i < n; ++i) {
        const uint8_t t = plan.chain.blocks[i];
        if (plan.reused[t]) {
            if (!read(i, held.get() + static_cast<size_t>(k++) * kBlockBytes))
                return fail(SaverOutcome::ReadFailed, readFailure);
            continue;
        }
        uint8_t block[kBlockBytes];
        if (!read(i, block))
            return fail(SaverOutcome::ReadFailed, readFailure);
        if (!write(t, block))
            return fail(SaverOutcome::WriteFailed, "Writing to the card failed.");
        ReportProgress(volume, ++done, n);
    }
    k = 0;
    for (int i = 0; i < n; ++i) {
        const uint8_t t = plan.chain.blocks[i];
        if (!plan.reused[t])
            continue;
        touched = true;
        if (!write(t, held.get() + static_cast<size_t>(k++) * kBlockBytes))
            return fail(SaverOutcome::WriteFailed, "Writing to the card failed.");
        ReportProgress(volume, ++done, n);
    }

    const WriteBackOutcome written = WriteBackChange(volume, before);
    ReportProgress(volume, 0, n);
    if (written == WriteBackOutcome::Written)
        return Outcome(SaverOutcome::Done, "");
    if (written == WriteBackOutcome::Leftovers)
        return Outcome(SaverOutcome::WriteFailed,
                       "The saver was written, but the card's table could not be tidied up; "
                       "a card check frees the blocks left over.");
    SaverResult failed =
        Outcome(SaverOutcome::WriteFailed, "Writing the card's table or directory failed.");
    failed.oldSaverTouched = touched;
    return failed;
}

SaverResult CheckOldEntry(const CardVolume& volume, int oldEntry) {
    if (oldEntry >= 0 && !IsListed(volume, oldEntry))
        return Outcome(SaverOutcome::NoSuchOldSaver, "The saver to replace is not on the card.");
    return Outcome(SaverOutcome::Done, "");
}

SaverResult CheckSameCard(CardVolume& volume, bool forWriting = true) {
    const ListingMatch match = CompareWithListing(volume, forWriting);
    if (match == ListingMatch::Same)
        return Outcome(SaverOutcome::Done, "");
    return Outcome(SaverOutcome::CardChanged, ListingMatchText(volume, match));
}

// Closes the file on every way out.
struct FileCloser {
    std::FILE* file;
    ~FileCloser() {
        if (file != nullptr)
            std::fclose(file);
    }
};

} // namespace

SaverResult ReplaceSaverByCopy(CardVolume& source, int entry, CardVolume& destination, int oldEntry,
                               const StatusSink& status) {
    if (status)
        status(kCopyingText);
    if (&source == &destination)
        return Outcome(SaverOutcome::SameVolume, "Source and destination are the same card.");
    if (!IsListed(source, entry))
        return Outcome(SaverOutcome::NothingToCopy, "There is no saver to copy.");
    SaverResult check = CheckOldEntry(destination, oldEntry);
    if (!check.Done())
        return check;
    const SaverEntry& from = source.Entries()[entry];
    SaverChain sourceChain;
    WalkSaverChain(source, from, sourceChain);
    if (!sourceChain.Whole())
        return Outcome(SaverOutcome::SourceDamaged,
                       "The saver's blocks on the source card are damaged; nothing was copied.");

    // Copying from another card than the listed one would carry its blocks.
    if ((check = CheckSameCard(source, false)).outcome != SaverOutcome::Done ||
        (check = CheckSameCard(destination)).outcome != SaverOutcome::Done)
        return check;
    TableSnapshot before(destination, oldEntry);
    Plan plan;
    check = PlanPlacement(destination, from.Raw, from.SizeBlocks, oldEntry, before, plan);
    if (!check.Done())
        return check;
    const BlockReader read = [&](int i, uint8_t* out) {
        return source.ReadRawBlock(source.Device(), sourceChain.blocks[i], out);
    };
    ChangeScope change(destination,
                       "copy " + RawSaverName(from.Raw) + " from " + VolumeLabel(source));
    return CarryOut(destination, plan, before, read, "A block of the saver could not be read.");
}

SaverResult ReplaceSaverByImport(const std::string& path, CardVolume& volume, int oldEntry) {
    const std::string unreadable = "File " + path + " can not be read.";
    SaverResult check = CheckOldEntry(volume, oldEntry);
    if (!check.Done())
        return check;
    // Opening a FIFO would wait for a writer: only regular files are read.
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec))
        return Outcome(SaverOutcome::FileUnreadable, unreadable);
    FileCloser in{std::fopen(path.c_str(), "rb")};
    if (in.file == nullptr)
        return Outcome(SaverOutcome::FileUnreadable, unreadable);
    uint8_t header[kDciHeaderSize];
    const size_t got = std::fread(header, 1, kDciHeaderSize, in.file);
    const std::string tooShort =
        "File " + path + " is shorter than its header says; nothing imported.";
    if (got != kDciHeaderSize)
        return Outcome(std::ferror(in.file) ? SaverOutcome::FileUnreadable
                                            : SaverOutcome::FileTooShort,
                       std::ferror(in.file) ? unreadable : tooShort);
    const int size = header[SaverEntry::kSizeOffset];
    if (std::fseek(in.file, 0, SEEK_END) != 0)
        return Outcome(SaverOutcome::FileUnreadable, unreadable);
    const long length = std::ftell(in.file);
    if (length < 0)
        return Outcome(SaverOutcome::FileUnreadable, unreadable);
    // Size 0 is "NOT ENOUGH SPACE." whatever the file holds.
    if (size > 0 && length < kDciHeaderSize + static_cast<long>(size) * kBlockBytes)
        return Outcome(SaverOutcome::FileTooShort, tooShort);

    if ((check = CheckSameCard(volume)).outcome != SaverOutcome::Done)
        return check;
    TableSnapshot before(volume, oldEntry);
    Plan plan;
    check = PlanPlacement(volume, header, size, oldEntry, before, plan);
    if (!check.Done())
        return check;
    const BlockReader read = [&](int i, uint8_t* out) {
        const long at = kDciHeaderSize + static_cast<long>(i) * kBlockBytes;
        return std::fseek(in.file, at, SEEK_SET) == 0 &&
               std::fread(out, 1, kBlockBytes, in.file) == static_cast<size_t>(kBlockBytes);
    };
    ChangeScope change(volume, "import " + RawSaverName(header));
    return CarryOut(volume, plan, before, read, unreadable);
}
