// The repair half of the card check: plans every safe change in memory, then
// writes table, directory and root.
#include "card/CardCheck.h"

#include "card/CardCheckParts.h"
#include "card/CardWriteBack.h"
#include "card/SameCard.h"
#include "card/ChangeRecorder.h"

#include <algorithm>
#include <cstring>

using namespace cardcheck;

namespace {

enum Target { kTable, kDirectory, kRoot, kTargets };

// Repairs waiting for the write of the block that carries them.
struct Pending {
    std::vector<std::string> texts[kTargets];
    bool directoryBlock[CardVolume::kDirBlocks] = {};
    void Note(Target target, std::string text) { texts[target].push_back(std::move(text)); }
    bool Any(Target target) const { return !texts[target].empty(); }
};

void RepairSystemArea(CardVolume& volume, Pending& pending) {
    if (FirstDamagedSystemBlock(volume) >= 0) {
        for (int b = CardVolume::kDirLastBlock; b < CardVolume::kBlockCount; ++b)
            volume.Fat[b] = SystemLink(b);
        pending.Note(kTable, "Rebuilt the table's chains of the directory, table and root.");
    }
    bool layoutOk = true;
    for (int k = 0; k < 4; ++k)
        layoutOk = layoutOk && RootWord(volume, kLayoutOffsets[k]) == kLayout[k];
    if (!layoutOk) {
        for (int k = 0; k < 4; ++k)
            SetRootWord(volume, kLayoutOffsets[k], kLayout[k]);
        pending.Note(kRoot, "Set the root's table and directory fields to blocks 254 and 253.");
    }
}

void ChangeEntry(int entry, Pending& pending, std::string text) {
    pending.directoryBlock[entry / CardVolume::kEntriesPerBlock] = true;
    pending.Note(kDirectory, std::move(text));
}

// Chains and entries, saver by saver. True when leaked blocks may hold the
// rest of a damaged or cross-linked saver, and so must stay.
bool RepairSavers(CardVolume& volume, int leakedBefore, Pending& pending,
                  std::vector<std::string>& refusals) {
    BlockOwners owners;
    MapOwners(volume, owners);
    bool keepLeaked = false;
    SaverChain chain;
    for (int i = 0; i < CardVolume::kListedEntries; ++i) {
        SaverEntry& e = volume.Entries[i];
        if (e.SizeBlocks == 0)
            continue;
        const std::string label = SaverLabel(volume, i);
        WalkSaverChain(volume, e, chain);
        if (ChainShared(chain, owners)) {
            for (int k = 0; k < chain.count; ++k) {
                const uint8_t b = chain.blocks[k];
                const int other = owners.first[b] == i ? owners.second[b] : owners.first[b];
                if (owners.Shared(b) && other > i) {
                    refusals.push_back(label + " and " + SaverLabel(volume, other) +
                                       " share blocks: neither is touched. Copy or export the "
                                       "one you need, then delete the other.");
                    break;
                }
            }
            keepLeaked = true;
            continue;
        }
        if (e.IsGame && e.Raw[SaverEntry::kFirstBlockOffset] != 0) {
            e.Raw[SaverEntry::kFirstBlockOffset] = 0;
            ChangeEntry(i, pending, "Set " + label + "'s first block to 0, as a game's.");
        }
        const std::string size = std::to_string(e.SizeBlocks);
        switch (chain.end) {
        case ChainEnd::Complete:
        case ChainEnd::Empty:
            break;
        case ChainEnd::NoEndMark:
            volume.Fat[chain.Last()] = CardVolume::kFatEnd;
            pending.Note(kTable, "Ended " + label + "'s chain at its " + size + " blocks.");
            break;
        case ChainEnd::EndsEarly:
            if (leakedBefore > 0) {
                refusals.push_back(label + "'s chain ends after " + std::to_string(chain.count) +
                                   " of its " + size +
                                   " blocks: its size is kept, since the rest may be among the "
                                   "leaked blocks.");
                keepLeaked = true;
                break;
            }
            e.Raw[SaverEntry::kSizeOffset] = static_cast<uint8_t>(chain.count);
            e.SizeBlocks = static_cast<uint16_t>(chain.count);
            ChangeEntry(i, pending,
                        "Lowered " + label + "'s size from " + size + " to " +
                            std::to_string(chain.count) + " blocks, the blocks its chain holds.");
            break;
        default:
            refusals.push_back(label + "'s chain breaks after " + std::to_string(chain.count) +
                               " of its " + size +
                               " blocks: not repaired. Its blocks may be among the leaked ones.");
            keepLeaked = true;
            break;
        }
    }
    return keepLeaked;
}

void RepairLeaks(CardVolume& volume, bool keep, Pending& pending,
                 std::vector<std::string>& refusals) {
    BlockOwners owners;
    MapOwners(volume, owners);
    const int count = LeakedBlocks(volume, owners, nullptr, 0);
    if (count == 0)
        return;
    const std::string blocks =
        std::to_string(count) + (count == 1 ? " leaked block" : " leaked blocks");
    if (keep) {
        refusals.push_back("Kept " + blocks + ": they may hold the rest of a damaged saver.");
        return;
    }
    for (int b = 0; b < kFirstSystemBlock; ++b) {
        if (volume.Fat[b] != CardVolume::kFatFree && !owners.Owned(b))
            volume.Fat[b] = CardVolume::kFatFree;
    }
    pending.Note(kTable, "Freed " + blocks + ".");
}

void RepairUserBlocks(CardVolume& volume, Pending& pending) {
    int entry = -1;
    const int needed = HighestSaverBlock(volume, entry) + 1;
    const int user = volume.UserBlocks();
    int wanted = user;
    if (user > CardVolume::kDirLastBlock)
        wanted = CardVolume::kDirLastBlock;
    if (needed > wanted || wanted == 0)
        wanted = needed <= 200 ? 200 : needed <= 240 ? 240 : CardVolume::kDirLastBlock;
    if (wanted == user)
        return;
    volume.Root[CardVolume::kUserBlocksOffset] = static_cast<uint8_t>(wanted);
    volume.Root[CardVolume::kUserBlocksOffset + 1] = 0;
    std::string why = needed > user && entry >= 0
                          ? ", so that it covers block " + std::to_string(needed - 1) + " of " +
                                SaverLabel(volume, entry)
                          : "";
    pending.Note(kRoot, "Set the root's user-block count from " + std::to_string(user) + " to " +
                            std::to_string(wanted) + why + ".");
}

bool WriteDirectoryBlockAt(CardVolume& volume, int k) {
    uint8_t block[CardVolume::kBlockSize];
    for (int j = 0; j < CardVolume::kEntriesPerBlock; ++j)
        std::memcpy(block + SaverEntry::kSize * j,
                    volume.Entries[k * CardVolume::kEntriesPerBlock + j].Raw, SaverEntry::kSize);
    SwapWords(block);
    return volume.WriteRawBlock(volume.Device, static_cast<uint8_t>(CardVolume::kDirFirstBlock - k),
                                block) &&
           !LinkFailedOn(volume);
}

void Written(Pending& pending, Target target, std::vector<std::string>& repairs) {
    for (std::string& text : pending.texts[target])
        repairs.push_back(std::move(text));
    pending.texts[target].clear();
}

} // namespace

bool RepairCard(CardVolume& volume, CardRepairReport& report) {
    report = CardRepairReport();
    if (!CheckCard(volume, report.before))
        return false;
    if (!report.before.formatted) {
        report.refusals.push_back("The card is not formatted: there is nothing to repair.");
        report.after = report.before;
        return true;
    }
    int leakedBefore = 0;
    for (const CardProblem& p : report.before.problems)
        leakedBefore += p.kind == CardProblemKind::LeakedBlocks ? p.count : 0;

    Pending pending;
    RepairSystemArea(volume, pending);
    const bool keepLeaked = RepairSavers(volume, leakedBefore, pending, report.refusals);
    RepairLeaks(volume, keepLeaked, pending, report.refusals);
    RepairUserBlocks(volume, pending);

    // Nothing goes onto a card that is not the one just checked.
    if (pending.Any(kTable) || pending.Any(kDirectory) || pending.Any(kRoot)) {
        const ListingMatch match = CompareWithListing(volume);
        if (match != ListingMatch::Same) {
            report.refusals.push_back(ListingMatchText(volume, match));
            report.after = report.before;
            return false;
        }
    }
    ChangeScope change(volume, "repair");
    // Table first: every change in it frees only blocks no saver reaches, or
    // ends a chain at its size, so it is safe under the old directory too.
    bool ok = true;
    if (pending.Any(kTable)) {
        ok = volume.WriteFat() && !LinkFailedOn(volume);
        if (ok)
            Written(pending, kTable, report.repairs);
    }
    for (int k = 0; ok && k < CardVolume::kDirBlocks; ++k) {
        if (pending.directoryBlock[k])
            ok = WriteDirectoryBlockAt(volume, k);
    }
    if (ok)
        Written(pending, kDirectory, report.repairs);
    if (ok && pending.Any(kRoot)) {
        ok = volume.WriteRoot() && !LinkFailedOn(volume);
        if (ok)
            Written(pending, kRoot, report.repairs);
    }
    if (!ok) {
        report.writeFailed = true;
        report.refusals.push_back("Writing to the card failed; the repair stopped there.");
    }
    if (!CheckCard(volume, report.after))
        return false;
    return ok;
}
