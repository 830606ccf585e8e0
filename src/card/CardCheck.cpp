#include "card/CardCheck.h"

#include "card/CardCheckParts.h"
#include "card/CardWriteBack.h"
#include "card/ImageLock.h"
#include "card/SaverText.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace cardcheck {

uint16_t RootWord(const CardVolume& volume, int offset) {
    return static_cast<uint16_t>(volume.Root()[offset] | (volume.Root()[offset + 1] << 8));
}

void SetRootWord(CardVolume& volume, int offset, uint16_t value) {
    volume.Root()[offset] = static_cast<uint8_t>(value & 0xFF);
    volume.Root()[offset + 1] = static_cast<uint8_t>(value >> 8);
}

uint16_t SystemLink(int block) {
    if (block > CardVolume::kDirLastBlock && block <= CardVolume::kDirFirstBlock)
        return static_cast<uint16_t>(block - 1);
    return CardVolume::kFatEnd;
}

int FirstDamagedSystemBlock(const CardVolume& volume) {
    for (int b = CardVolume::kBlockCount - 1; b >= CardVolume::kDirLastBlock; --b) {
        if (volume.Fat()[b] != SystemLink(b))
            return b;
    }
    return -1;
}

std::string SaverLabel(const CardVolume& volume, int entry) {
    return SaverText(volume.Entries()[entry].TrimmedName()) + " (entry " + std::to_string(entry) +
           ")";
}

bool ChainShared(const SaverChain& chain, const BlockOwners& owners) {
    for (int k = 0; k < chain.count; ++k) {
        if (owners.Shared(chain.blocks[k]))
            return true;
    }
    return false;
}

int HighestSaverBlock(const CardVolume& volume, int& entry) {
    int highest = -1;
    BlockOwners owners;
    MapOwners(volume, owners);
    SaverChain chain;
    for (int i = 0; i < CardVolume::kListedEntries; ++i) {
        if (volume.Entries()[i].SizeBlocks == 0)
            continue;
        WalkSaverChain(volume, volume.Entries()[i], chain);
        if (!chain.Whole() || ChainShared(chain, owners))
            continue;
        for (int k = 0; k < chain.count; ++k) {
            if (chain.blocks[k] > highest) {
                highest = chain.blocks[k];
                entry = i;
            }
        }
    }
    return highest;
}

int LeakedBlocks(const CardVolume& volume, const BlockOwners& owners, int* out, int max) {
    int count = 0;
    for (int b = 0; b < kFirstSystemBlock; ++b) {
        if (volume.Fat()[b] == CardVolume::kFatFree || owners.Owned(b))
            continue;
        if (out != nullptr && count < max)
            out[count] = b;
        ++count;
    }
    return count;
}

} // namespace cardcheck

using namespace cardcheck;

namespace {

std::string Hex(unsigned value, int digits) {
    char text[8];
    std::snprintf(text, sizeof text, "%0*X", digits, value);
    return text;
}

// A table value as words: "links to 244", "ends the chain", "reads FFFC".
std::string LinkText(uint16_t value) {
    if (value == CardVolume::kFatEnd)
        return "ends the chain";
    if (value < CardVolume::kBlockCount)
        return "links to " + std::to_string(value);
    return "reads " + Hex(value, 4);
}

void Add(CardCheckReport& report, CardProblemKind kind, std::string text, int entry = -1,
         int block = -1, int count = 0, int other = -1) {
    CardProblem problem;
    problem.kind = kind;
    problem.note = kind == CardProblemKind::HiddenEntry || kind == CardProblemKind::UnknownType;
    problem.entry = entry;
    problem.other = other;
    problem.block = block;
    problem.count = count;
    problem.text = std::move(text);
    report.problems.push_back(std::move(problem));
}

// Reads directory blocks 253 down to 241 into Entries and decodes what the
// check needs, without header reads.
bool ReadStandardDirectory(CardVolume& volume) {
    uint8_t block[CardVolume::kBlockSize];
    for (int k = 0; k < CardVolume::kDirBlocks; ++k) {
        if (!volume.ReadRawBlock(volume.Device(),
                                 static_cast<uint8_t>(CardVolume::kDirFirstBlock - k), block) ||
            LinkFailedOn(volume))
            return false;
        SwapWords(block);
        volume.Listing().Copy().Keep(static_cast<uint8_t>(CardVolume::kDirFirstBlock - k), block);
        for (int j = 0; j < CardVolume::kEntriesPerBlock; ++j) {
            SaverEntry& e = volume.Entries()[k * CardVolume::kEntriesPerBlock + j];
            e.Clear();
            std::memcpy(e.Raw, block + SaverEntry::kSize * j, SaverEntry::kSize);
            if (!e.RawInUse())
                continue;
            e.Name.assign(reinterpret_cast<const char*>(e.Raw + SaverEntry::kNameOffset),
                          SaverEntry::kNameLength);
            e.SizeBlocks = e.Raw[SaverEntry::kSizeOffset];
            e.IsGame = SaverEntry::IsGameRaw(e.Raw);
            e.FirstBlock = e.IsGame ? 0 : e.Raw[SaverEntry::kFirstBlockOffset];
        }
    }
    for (int n = CardVolume::kListedEntries; n < CardVolume::kEntryCount; ++n)
        volume.Entries()[n].Clear();
    return true;
}

void CheckRoot(const CardVolume& volume, CardCheckReport& report) {
    bool layoutOk = true;
    for (int k = 0; k < 4; ++k)
        layoutOk = layoutOk && RootWord(volume, kLayoutOffsets[k]) == kLayout[k];
    if (!layoutOk)
        Add(report, CardProblemKind::RootLayout,
            "The root block gives the table at block " +
                std::to_string(RootWord(volume, kRootFatBlock)) + " (" +
                std::to_string(RootWord(volume, kRootFatLength)) +
                " blocks) and the directory at block " +
                std::to_string(RootWord(volume, kRootDirBlock)) + " (" +
                std::to_string(RootWord(volume, kRootDirLength)) +
                " blocks); a card keeps them at 254 (1) and 253 (13).");
    if (report.userBlocks == 0 || report.userBlocks > CardVolume::kDirLastBlock)
        Add(report, CardProblemKind::UserBlocks,
            "The root gives " + std::to_string(report.userBlocks) +
                " user blocks; a card has room for 1 to 241.");
    const int damaged = FirstDamagedSystemBlock(volume);
    if (damaged >= 0)
        Add(report, CardProblemKind::SystemChains,
            "The table's chains of the directory, table and root are damaged: block " +
                std::to_string(damaged) + " " + LinkText(volume.Fat()[damaged]) +
                " where it should " +
                (SystemLink(damaged) == CardVolume::kFatEnd
                     ? std::string("end the chain")
                     : "link to " + std::to_string(SystemLink(damaged))) +
                " (the listing reads the directory through them).",
            -1, damaged);
}

std::string BreakText(const SaverChain& chain) {
    std::string at = chain.count > 0 ? "block " + std::to_string(chain.Last()) : "";
    switch (chain.end) {
    case ChainEnd::MarkedFree:
        return at + " is marked free";
    case ChainEnd::BadLink:
        return at + " links to " + Hex(chain.stop, 4) + ", which is no block";
    case ChainEnd::IntoSystem:
        return chain.count == 0
                   ? "its first block " + std::to_string(chain.stop) + " is a system block"
                   : at + " links to system block " + std::to_string(chain.stop);
    case ChainEnd::Loop:
        return at + " links back to block " + std::to_string(chain.stop);
    default:
        return at;
    }
}

void CheckSaver(const CardVolume& volume, int i, CardCheckReport& report) {
    const SaverEntry& e = volume.Entries()[i];
    const std::string label = SaverLabel(volume, i);
    const uint8_t type = e.Raw[SaverEntry::kTypeOffset];
    if (type != SaverEntry::kTypeData && type != SaverEntry::kTypeGame)
        Add(report, CardProblemKind::UnknownType,
            label + " has type " + Hex(type, 2) + ", neither data (33) nor game (CC).", i);
    if (TypeByteDamaged(volume, e))
        Add(report, CardProblemKind::TypeDamaged,
            label + " is marked a game (type CC), but a whole chain of its " +
                std::to_string(e.SizeBlocks) + " blocks starts at block " +
                std::to_string(e.Raw[SaverEntry::kFirstBlockOffset]) +
                ", which its entry names, and block 0 is not its: the type byte is damaged.",
            i, e.Raw[SaverEntry::kFirstBlockOffset]);
    else if (e.IsGame && e.Raw[SaverEntry::kFirstBlockOffset] != 0)
        Add(report, CardProblemKind::GameFirstBlock,
            label + " is a game, but its entry names block " +
                std::to_string(e.Raw[SaverEntry::kFirstBlockOffset]) +
                " as its first; a game starts at block 0.",
            i, e.Raw[SaverEntry::kFirstBlockOffset]);
    SaverChain chain;
    WalkSaverChain(volume, e, chain);
    const std::string of = std::to_string(chain.count) + " of its " + std::to_string(e.SizeBlocks);
    switch (chain.end) {
    case ChainEnd::Complete:
    case ChainEnd::Empty:
        break;
    case ChainEnd::NoEndMark:
        Add(report, CardProblemKind::ChainNoEnd,
            label + ": the last of its " + std::to_string(chain.count) + " blocks, " +
                std::to_string(chain.Last()) +
                (chain.stop == CardVolume::kFatFree
                     ? ", is marked free instead of ending the chain."
                     : ", does not end the chain (it reads " + Hex(chain.stop, 4) + ")."),
            i, chain.Last());
        break;
    case ChainEnd::EndsEarly:
        Add(report, CardProblemKind::ChainShort,
            label + ": its chain ends after " + of + " blocks.", i, chain.Last(), chain.count);
        break;
    default:
        Add(report, CardProblemKind::ChainBroken,
            label + ": its chain breaks after " + of + " blocks: " + BreakText(chain) + ".", i,
            chain.count > 0 ? chain.Last() : chain.stop, chain.count);
        break;
    }
    int beyond = 0;
    int highest = -1;
    for (int k = 0; k < chain.count; ++k) {
        if (chain.blocks[k] >= report.userBlocks) {
            ++beyond;
            highest = std::max<int>(highest, chain.blocks[k]);
        }
    }
    if (beyond > 0)
        Add(report, CardProblemKind::OutsideUserArea,
            label + " uses block " + std::to_string(highest) + ", beyond the " +
                std::to_string(report.userBlocks) + " user blocks the root gives.",
            i, highest, beyond);
}

void CheckSharing(const CardVolume& volume, const BlockOwners& owners, CardCheckReport& report) {
    // One line per pair of savers, naming the first block they share.
    for (int b = 0; b < kFirstSystemBlock; ++b) {
        if (!owners.Shared(b))
            continue;
        const int a = owners.first[b];
        const int c = owners.second[b];
        bool seen = false;
        for (const CardProblem& p : report.problems)
            seen =
                seen || (p.kind == CardProblemKind::SharedBlocks && p.entry == a && p.other == c);
        if (seen)
            continue;
        int count = 0;
        for (int x = 0; x < kFirstSystemBlock; ++x)
            count += owners.first[x] == a && owners.second[x] == c ? 1 : 0;
        Add(report, CardProblemKind::SharedBlocks,
            SaverLabel(volume, a) + " and " + SaverLabel(volume, c) + " share " +
                std::to_string(count) + (count == 1 ? " block" : " blocks") + ", the lowest " +
                std::to_string(b) + ".",
            a, b, count, c);
    }
}

// The savers' chains, blocks two savers share, blocks no saver owns and the
// free count, on the table and directory in memory.
void CheckTables(const CardVolume& volume, CardCheckReport& report) {
    int sizes = 0;
    for (int i = 0; i < CardVolume::kListedEntries; ++i) {
        const SaverEntry& e = volume.Entries()[i];
        if (e.RawInUse() && e.SizeBlocks == 0)
            Add(report, CardProblemKind::HiddenEntry,
                SaverLabel(volume, i) + " is in use but has size 0; the listing skips it.", i);
        if (e.SizeBlocks == 0)
            continue;
        ++report.savers;
        sizes += e.SizeBlocks;
        CheckSaver(volume, i, report);
    }

    BlockOwners owners;
    MapOwners(volume, owners);
    CheckSharing(volume, owners, report);
    int leaked[10];
    const int leakedCount = LeakedBlocks(volume, owners, leaked, 10);
    if (leakedCount > 0) {
        std::string list;
        for (int k = 0; k < std::min(leakedCount, 10); ++k)
            list += (k > 0 ? ", " : "") + std::to_string(leaked[k]);
        if (leakedCount > 10)
            list += ", ...";
        Add(report, CardProblemKind::LeakedBlocks,
            std::to_string(leakedCount) +
                (leakedCount == 1 ? " block is allocated in the table but belongs"
                                  : " blocks are allocated in the table but belong") +
                " to no saver: " + list + ".",
            -1, leaked[0], leakedCount);
    }

    report.listedFree = std::max(0, report.userBlocks - sizes);
    for (int b = 0; b < SaverBlockLimit(volume); ++b)
        report.tableFree += IsAllocatable(volume, owners, b) ? 1 : 0;
    if (report.listedFree != report.tableFree)
        Add(report, CardProblemKind::FreeCount,
            "The listing shows " + std::to_string(report.listedFree) +
                " BLOCKS FREE; the table has " + std::to_string(report.tableFree) + " blocks free.",
            -1, -1, report.tableFree - report.listedFree);
}

} // namespace

const char* CardProblemName(CardProblemKind kind) {
    switch (kind) {
    case CardProblemKind::NotFormatted:
        return "not_formatted";
    case CardProblemKind::RootLayout:
        return "root_layout";
    case CardProblemKind::UserBlocks:
        return "user_blocks";
    case CardProblemKind::SystemChains:
        return "system_chains";
    case CardProblemKind::GameFirstBlock:
        return "game_first_block";
    case CardProblemKind::TypeDamaged:
        return "type_damaged";
    case CardProblemKind::ChainNoEnd:
        return "chain_no_end";
    case CardProblemKind::ChainShort:
        return "chain_short";
    case CardProblemKind::ChainBroken:
        return "chain_broken";
    case CardProblemKind::SharedBlocks:
        return "shared_blocks";
    case CardProblemKind::OutsideUserArea:
        return "outside_user_area";
    case CardProblemKind::LeakedBlocks:
        return "leaked_blocks";
    case CardProblemKind::FreeCount:
        return "free_count";
    case CardProblemKind::HiddenEntry:
        return "hidden_entry";
    case CardProblemKind::UnknownType:
        return "unknown_type";
    }
    return "unknown";
}

int CardCheckReport::ProblemCount() const {
    int count = 0;
    for (const CardProblem& p : problems)
        count += p.note ? 0 : 1;
    return count;
}

bool CardCheckReport::Clean() const {
    return readable && formatted && ProblemCount() == 0;
}

bool CheckCard(CardVolume& volume, CardCheckReport& report) {
    report = CardCheckReport();
    if (!LockImage(volume, false)) {
        report.busy = true;
        return false;
    }
    if (!volume.ReadRoot() || LinkFailedOn(volume) || !volume.ReadFat() || LinkFailedOn(volume))
        return false;
    if (!volume.IsFormatted()) {
        report.readable = true;
        Add(report, CardProblemKind::NotFormatted, "Not a formated Card");
        return true;
    }
    report.formatted = true;
    report.userBlocks = volume.UserBlocks();
    CheckRoot(volume, report);
    if (!ReadStandardDirectory(volume))
        return false;
    report.readable = true;

    CheckTables(volume, report);
    return true;
}

void CheckListedCard(const CardVolume& volume, CardCheckReport& report) {
    report = CardCheckReport();
    report.readable = true;
    if (!volume.IsFormatted()) {
        Add(report, CardProblemKind::NotFormatted, "Not a formated Card");
        return;
    }
    report.formatted = true;
    report.userBlocks = volume.UserBlocks();
    CheckRoot(volume, report);
    CheckTables(volume, report);
}
