// The repair half of the card check: plans every safe change in memory, then
// writes table, directory and root.
#include "card/CardCheck.h"

#include "card/CardCheckParts.h"
#include "card/CardWriteBack.h"
#include "card/ChangeRecorder.h"
#include "card/SameCard.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <memory>

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
            volume.Fat()[b] = SystemLink(b);
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

// How a chain goes on after its saver's size (or, for an entry of size 0,
// from its start): through blocks no listed saver reaches to its end mark,
// or not. length is the whole chain's block count when it does.
bool RunsOnToAnEnd(const CardVolume& volume, const BlockOwners& owners, int entry, uint8_t start,
                   int& length) {
    SaverChain whole;
    WalkChain(volume, start, CardVolume::kBlockCount - 1, whole);
    if (whole.end != ChainEnd::EndsEarly)
        return false;
    for (int k = 0; k < whole.count; ++k) {
        const uint8_t b = whole.blocks[k];
        if (owners.Owned(b) && (owners.first[b] != entry || owners.Shared(b)))
            return false;
    }
    length = whole.count;
    return true;
}

void SetSize(SaverEntry& e, int size) {
    e.Raw[SaverEntry::kSizeOffset] = static_cast<uint8_t>(size);
    e.Raw[SaverEntry::kSizeOffset + 1] = 0;
    e.SizeBlocks = static_cast<uint16_t>(size);
}

// A chain that goes on after its size. What follows is either free, another
// saver's or its own (a loop): the chain ends at its size and nothing is
// freed. Or it runs through blocks nobody owns: a size byte lowered by damage
// (the size is raised to the chain), or a link damaged into leaked blocks
// (left alone: they may be the saver's). False when nothing was changed.
bool RepairRunOn(CardVolume& volume, const BlockOwners& owners, int i, const SaverChain& chain,
                 Pending& pending, std::vector<std::string>& refusals) {
    SaverEntry& e = volume.Entries()[i];
    const std::string label = SaverLabel(volume, i);
    const std::string size = std::to_string(e.SizeBlocks);
    const uint16_t next = chain.stop;
    const bool intoUnowned = next < kFirstSystemBlock && !owners.Owned(next) &&
                             volume.Fat()[next] != CardVolume::kFatFree;
    if (!intoUnowned) {
        volume.Fat()[chain.Last()] = CardVolume::kFatEnd;
        pending.Note(kTable, "Ended " + label + "'s chain at its " + size + " blocks.");
        return true;
    }
    int length = 0;
    if (RunsOnToAnEnd(volume, owners, i, SaverChainStart(volume, e), length) &&
        length <= CardVolume::kBlockCount - 1) {
        SetSize(e, length);
        ChangeEntry(i, pending,
                    "Raised " + label + "'s size from " + size + " to " + std::to_string(length) +
                        " blocks: its chain goes on to its end through blocks no other saver "
                        "reaches, so the size byte was the damage.");
        return true;
    }
    refusals.push_back(label + "'s chain goes on after its " + size +
                       " blocks into blocks no saver reaches and then breaks: not repaired, "
                       "since those blocks may be its own.");
    return false;
}

// An entry in use with size 0 (the listing skips it) whose chain runs to its
// end through blocks no saver reaches: its size byte was lowered to 0, and
// the chain is its data. The size is raised; blocks it may own are kept.
// True when its blocks must stay allocated.
bool RepairHiddenEntry(CardVolume& volume, const BlockOwners& owners, int i, Pending& pending,
                       std::vector<std::string>& refusals) {
    SaverEntry& e = volume.Entries()[i];
    const uint8_t start = e.IsGame ? 0 : e.Raw[SaverEntry::kFirstBlockOffset];
    if (start >= kFirstSystemBlock || owners.Owned(start) ||
        volume.Fat()[start] == CardVolume::kFatFree)
        return false;
    const std::string label = SaverLabel(volume, i);
    int length = 0;
    if (RunsOnToAnEnd(volume, owners, i, start, length)) {
        SetSize(e, length);
        ChangeEntry(i, pending,
                    "Raised " + label + "'s size from 0 to " + std::to_string(length) +
                        " blocks, the chain from its first block " + std::to_string(start) +
                        ", which no other saver reaches.");
        return false;
    }
    refusals.push_back(label + " has size 0, but its first block " + std::to_string(start) +
                       " is allocated and its chain breaks: not repaired, and its blocks are "
                       "kept.");
    return true;
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
        SaverEntry& e = volume.Entries()[i];
        if (e.SizeBlocks == 0) {
            if (e.RawInUse() && RepairHiddenEntry(volume, owners, i, pending, refusals))
                keepLeaked = true;
            if (e.SizeBlocks > 0)
                MapOwners(volume, owners);
            continue;
        }
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
        if (TypeByteDamaged(volume, e)) {
            // Zeroing byte 2 would leave its data to no one.
            refusals.push_back(label +
                               "'s type byte reads CC, a game's, but its data is the chain "
                               "from block " +
                               std::to_string(e.Raw[SaverEntry::kFirstBlockOffset]) +
                               ": not repaired, and that chain is kept. Export the saver to "
                               "keep it.");
            continue;
        }
        const uint8_t named = e.Raw[SaverEntry::kFirstBlockOffset];
        if (e.IsGame && named != 0 && StartsWholeChain(volume, named, e.SizeBlocks) &&
            !owners.Owned(named)) {
            // Block 0 and byte 2 both start a whole chain of its size: either
            // may be its data, and the other would be freed as leaked.
            refusals.push_back(label + " is marked a game, but block " + std::to_string(named) +
                               ", which its entry names, starts a whole chain of its size no "
                               "other saver owns, as block 0 does: not repaired, and both "
                               "are kept.");
            keepLeaked = true;
        } else if (e.IsGame && named != 0) {
            e.Raw[SaverEntry::kFirstBlockOffset] = 0;
            ChangeEntry(i, pending, "Set " + label + "'s first block to 0, as a game's.");
        }
        const std::string size = std::to_string(e.SizeBlocks);
        switch (chain.end) {
        case ChainEnd::Complete:
        case ChainEnd::Empty:
            break;
        case ChainEnd::NoEndMark:
            if (!RepairRunOn(volume, owners, i, chain, pending, refusals))
                keepLeaked = true;
            MapOwners(volume, owners);
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
            SetSize(e, chain.count);
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
        if (volume.Fat()[b] != CardVolume::kFatFree && !owners.Owned(b))
            volume.Fat()[b] = CardVolume::kFatFree;
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
    volume.Root()[CardVolume::kUserBlocksOffset] = static_cast<uint8_t>(wanted);
    volume.Root()[CardVolume::kUserBlocksOffset + 1] = 0;
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
                    volume.Entries()[k * CardVolume::kEntriesPerBlock + j].Raw, SaverEntry::kSize);
    SwapWords(block);
    return volume.WriteRawBlock(volume.Device(),
                                static_cast<uint8_t>(CardVolume::kDirFirstBlock - k), block) &&
           !LinkFailedOn(volume);
}

void Written(Pending& pending, Target target, std::vector<std::string>& repairs) {
    for (std::string& text : pending.texts[target])
        repairs.push_back(std::move(text));
    pending.texts[target].clear();
}

// Problems that stay only because of damage left above get their reason too,
// so that every problem left is accounted for.
void ExplainLeftovers(const CardVolume& volume, CardRepairReport& report) {
    for (const CardProblem& p : report.after.problems) {
        if (p.kind == CardProblemKind::FreeCount)
            report.refusals.push_back(
                "The listing's free count stays " + std::to_string(report.after.listedFree) +
                " and the table's " + std::to_string(report.after.tableFree) +
                ": the sizes and blocks of the savers left alone above are kept as they are.");
        else if (p.kind == CardProblemKind::OutsideUserArea && p.entry >= 0)
            report.refusals.push_back("The root's user-block count is kept: the chain of " +
                                      SaverLabel(volume, p.entry) + " is damaged.");
    }
}

} // namespace

namespace {

// The root, table and directory as the check read them, to undo a plan.
struct TablesInMemory {
    uint8_t root[CardVolume::kBlockSize];
    uint16_t fat[CardVolume::kBlockCount];
    SaverEntry entries[CardVolume::kEntryCount];
    void Save(const CardVolume& volume) {
        std::memcpy(root, volume.Root(), sizeof root);
        std::memcpy(fat, volume.Fat(), sizeof fat);
        std::copy(std::begin(volume.Entries()), std::end(volume.Entries()), entries);
    }
    void Restore(CardVolume& volume) const {
        std::memcpy(volume.Root(), root, sizeof root);
        std::memcpy(volume.Fat(), fat, sizeof fat);
        std::copy(std::begin(entries), std::end(entries), volume.Entries());
    }
};

std::vector<std::string> PlannedTexts(const Pending& pending) {
    std::vector<std::string> texts;
    for (Target target : {kTable, kDirectory, kRoot})
        texts.insert(texts.end(), pending.texts[target].begin(), pending.texts[target].end());
    return texts;
}

// The check, then every safe change planned in memory. False when the card
// could not be read; done false when there is nothing to plan (not
// formatted).
bool PlanRepairs(CardVolume& volume, CardRepairReport& report, Pending& pending, bool& done,
                 TablesInMemory& memory) {
    report = CardRepairReport();
    done = false;
    // The plan is made on the card as it is now, not as this command read it
    // before the user chose: it may have been swapped meanwhile.
    volume.Store().Cache().ForgetAll();
    if (!CheckCard(volume, report.before))
        return false;
    if (!report.before.formatted) {
        report.refusals.push_back("The card is not formatted: there is nothing to repair.");
        report.after = report.before;
        done = true;
        return true;
    }
    memory.Save(volume);
    int leakedBefore = 0;
    for (const CardProblem& p : report.before.problems)
        leakedBefore += p.kind == CardProblemKind::LeakedBlocks ? p.count : 0;
    RepairSystemArea(volume, pending);
    const bool keepLeaked = RepairSavers(volume, leakedBefore, pending, report.refusals);
    RepairLeaks(volume, keepLeaked, pending, report.refusals);
    RepairUserBlocks(volume, pending);
    return true;
}

} // namespace

bool PlanCardRepair(CardVolume& volume, CardRepairReport& report) {
    Pending pending;
    bool done = false;
    const auto memory = std::make_unique<TablesInMemory>();
    if (!PlanRepairs(volume, report, pending, done, *memory))
        return false;
    if (done)
        return true;
    report.repairs = PlannedTexts(pending);
    // Memory back to what the card holds.
    memory->Restore(volume);
    report.after = report.before;
    return true;
}

bool RepairCard(CardVolume& volume, CardRepairReport& report,
                const std::vector<std::string>* offered) {
    Pending pending;
    bool done = false;
    const auto memory = std::make_unique<TablesInMemory>();
    if (!PlanRepairs(volume, report, pending, done, *memory))
        return false;
    if (done)
        return true;
    if (offered != nullptr && PlannedTexts(pending) != *offered) {
        memory->Restore(volume);
        report.changed = true;
        report.refusals = {"The card has changed since it was checked: nothing was written."};
        report.after = report.before;
        return true;
    }

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
    ExplainLeftovers(volume, report);
    return ok;
}
