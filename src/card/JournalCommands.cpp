#include "card/JournalCommands.h"

#include "card/CardWriteBack.h"
#include "card/ImageLock.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr int kFatIndex = CardVolume::kFatBlock - CardVolume::kDirLastBlock;
constexpr int kRootIndex = CardVolume::kRootBlock - CardVolume::kDirLastBlock;
constexpr int kDirBlockCount = CardVolume::kDirBlocks;

void EncodeFat(const uint16_t* fat, uint8_t* out512) {
    for (int i = 0; i < CardVolume::kBlockCount; ++i) {
        out512[2 * i] = static_cast<uint8_t>(fat[i] & 0xFF);
        out512[2 * i + 1] = static_cast<uint8_t>(fat[i] >> 8);
    }
    SwapWords(out512);
}

bool Write(CardVolume& volume, uint8_t block, const uint8_t* data) {
    return volume.WriteRawBlock(volume.Device, block, data) && !LinkFailedOn(volume);
}

// Directory block k (block 253 - k) of the entries, card order.
void EncodeDirectory(const uint8_t (*entries)[SaverEntry::kSize], int k, uint8_t* out512) {
    std::memset(out512, 0, CardVolume::kBlockSize);
    for (int j = 0; j < CardVolume::kEntriesPerBlock; ++j) {
        const int n = k * CardVolume::kEntriesPerBlock + j;
        if (n < CardVolume::kEntryCount)
            std::memcpy(out512 + SaverEntry::kSize * j, entries[n], SaverEntry::kSize);
    }
    SwapWords(out512);
}

int DirIndex(int k) {
    return CardVolume::kDirFirstBlock - k - CardVolume::kDirLastBlock;
}

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

std::string Joined(const std::vector<std::string>& names) {
    std::string out;
    for (const std::string& n : names)
        out += (out.empty() ? "" : ", ") + n;
    return out;
}

// Writes target over current: data blocks first, then a table that holds
// both states' chains, the directory and root, and last the target table, so
// that no state on the way has an entry whose blocks are free.
bool WriteSystemState(CardVolume& volume, const BlockBytes (&current)[kSystemBlocks],
                      const BlockBytes (&target)[kSystemBlocks]) {
    const SystemView now(current);
    const SystemView want(target);
    uint16_t bridge[CardVolume::kBlockCount];
    for (int b = 0; b < CardVolume::kBlockCount; ++b)
        bridge[b] = want.fat[b] != CardVolume::kFatFree ? want.fat[b] : now.fat[b];
    uint8_t block[CardVolume::kBlockSize];
    EncodeFat(bridge, block);
    const bool bridgeNeeded = std::memcmp(block, current[kFatIndex], sizeof block) != 0;
    if (bridgeNeeded && !Write(volume, CardVolume::kFatBlock, block))
        return false;
    for (int k = 0; k < kDirBlockCount; ++k) {
        const int i = DirIndex(k);
        if (std::memcmp(current[i], target[i], sizeof block) != 0 &&
            !Write(volume, static_cast<uint8_t>(CardVolume::kDirLastBlock + i), target[i]))
            return false;
    }
    if (std::memcmp(current[kRootIndex], target[kRootIndex], sizeof block) != 0 &&
        !Write(volume, CardVolume::kRootBlock, target[kRootIndex]))
        return false;
    const uint8_t* written = bridgeNeeded ? block : current[kFatIndex];
    if (std::memcmp(written, target[kFatIndex], sizeof block) != 0 &&
        !Write(volume, CardVolume::kFatBlock, target[kFatIndex]))
        return false;
    return true;
}

JournalOutcome Refused(const std::string& message) {
    JournalOutcome out;
    out.refused = true;
    out.message = message;
    return out;
}

const char* const kUnreadable = "The card could not be read; nothing was changed.";

} // namespace

bool ReadHistory(CardVolume& volume, const CardJournal& journal,
                 std::vector<JournalRecord>& records) {
    records.clear();
    uint8_t root[CardVolume::kBlockSize];
    if (!volume.ReadRawBlock(volume.Device, CardVolume::kRootBlock, root))
        return false;
    SwapWords(root);
    LoadJournal(journal.PathFor(root, volume.Device, volume.ImageName), records);
    return true;
}

JournalOutcome UndoLastChange(CardVolume& volume, CardJournal& journal) {
    static BlockBytes current[kSystemBlocks];
    // Held from the reads below to the last write.
    std::string why;
    if (!LockImageForWriting(volume, why))
        return Refused(why);
    // Held against the history: the card as it is, not as the command read it.
    volume.Cache.ForgetAll();
    if (!ReadSystemBlocks(volume, current))
        return Refused(kUnreadable);
    const SystemView now(current);
    std::vector<JournalRecord> records;
    LoadJournal(journal.PathFor(now.root, volume.Device, volume.ImageName), records);
    if (records.empty())
        return Refused("There is no change of this card to undo.");
    const JournalRecord& last = records.back();
    if (std::memcmp(current, last.after, sizeof current) != 0)
        return Refused("The card was changed since " + Quoted(last.command) +
                       " (by another program, or it is another card); nothing was undone.");

    JournalOutcome out;
    // Taking back an undo is a redo, and the other way round.
    const std::string& was = last.command;
    const std::string name = was.rfind("undo ", 0) == 0   ? "redo " + was.substr(5)
                             : was.rfind("redo ", 0) == 0 ? "undo " + was.substr(5)
                                                          : "undo " + was;
    ChangeScope scope(volume, name);
    bool ok = true;
    for (const KeptBlock& k : last.kept)
        ok = ok && Write(volume, k.block, k.before);
    ok = ok && WriteSystemState(volume, current, last.before);
    out.done = ok;
    out.message = ok ? "Undid " + Quoted(last.command) + "."
                     : "Writing to the card failed while undoing " + Quoted(last.command) + ".";
    return out;
}

RecoverReport RecoverSavers(CardVolume& volume, CardJournal& journal, const std::string& name,
                            int record) {
    RecoverReport report;
    static BlockBytes current[kSystemBlocks];
    static BlockBytes target[kSystemBlocks];
    std::string why;
    if (!LockImageForWriting(volume, why)) {
        report.outcome = Refused(why);
        return report;
    }
    volume.Cache.ForgetAll(); // the card as it is (see UndoLastChange)
    if (!ReadSystemBlocks(volume, current)) {
        report.outcome = Refused(kUnreadable);
        return report;
    }
    SystemView work(current);
    std::vector<JournalRecord> records;
    LoadJournal(journal.PathFor(work.root, volume.Device, volume.ImageName), records);
    if (record >= static_cast<int>(records.size())) {
        report.outcome = Refused("There is no such change in the card's history.");
        return report;
    }

    // Newest deletion first: a saver deleted twice comes back as it was last.
    std::vector<const JournalSaver*> candidates;
    for (int i = static_cast<int>(records.size()) - 1; i >= 0; --i) {
        if (record >= 0 && i != record)
            continue;
        for (const JournalSaver& s : records[static_cast<size_t>(i)].removed) {
            if (!name.empty() && s.Name() != name)
                continue;
            bool seen = false;
            for (const JournalSaver* c : candidates)
                seen = seen || std::memcmp(c->raw, s.raw, SaverEntry::kSize) == 0;
            if (!seen)
                candidates.push_back(&s);
        }
    }

    std::vector<std::string> added;
    for (const JournalSaver* s : candidates) {
        const std::string label = s->Name();
        bool listed = false;
        bool sameName = false;
        for (const auto& raw : work.entries) {
            if (!SystemView::InUse(raw))
                continue;
            listed = listed || std::memcmp(raw, s->raw, SaverEntry::kSize) == 0;
            JournalSaver other;
            std::memcpy(other.raw, raw, SaverEntry::kSize);
            sameName = sameName || other.Name() == label;
        }
        if (listed)
            continue; // already back
        if (sameName) {
            report.lost.push_back(label + ": a saver of that name is on the card");
            continue;
        }
        bool free = s->count > 0 && s->hash != 0;
        for (int i = 0; i < s->count && free; ++i)
            free = work.fat[s->chain[i]] == CardVolume::kFatFree;
        uint64_t hash = HashBytes(nullptr, 0);
        uint8_t block[CardVolume::kBlockSize];
        bool same = free;
        for (int i = 0; i < s->count && same; ++i) {
            same = volume.ReadRawBlock(volume.Device, s->chain[i], block);
            hash = HashBytes(block, sizeof block, hash);
        }
        if (!free || !same || hash != s->hash) {
            report.lost.push_back(label + ": its blocks were used since it was deleted");
            continue;
        }
        int entry = -1;
        for (int e = 0; e < CardVolume::kListedEntries && entry < 0; ++e) {
            if (!SystemView::InUse(work.entries[e]))
                entry = e;
        }
        if (entry < 0) {
            report.lost.push_back(label + ": the directory is full");
            continue;
        }
        for (int i = 0; i < s->count; ++i)
            work.fat[s->chain[i]] =
                i + 1 < s->count ? s->chain[i + 1] : static_cast<uint16_t>(CardVolume::kFatEnd);
        std::memcpy(work.entries[entry], s->raw, SaverEntry::kSize);
        added.push_back(label);
    }
    if (added.empty()) {
        if (candidates.empty() && report.lost.empty())
            report.outcome = Refused(name.empty() ? "No deleted saver to recover."
                                                  : "No deleted saver " + Quoted(name) +
                                                        " in the card's history.");
        else
            report.outcome = Refused("Nothing was recovered.");
        return report;
    }

    std::memcpy(target, current, sizeof target);
    EncodeFat(work.fat, target[kFatIndex]);
    for (int k = 0; k < kDirBlockCount; ++k)
        EncodeDirectory(work.entries, k, target[DirIndex(k)]);
    ChangeScope scope(volume, "recover " + Joined(added));
    const bool ok = WriteSystemState(volume, current, target);
    report.outcome.done = ok;
    if (ok)
        report.recovered = added;
    report.outcome.message = ok ? "Recovered " + Joined(added) + "."
                                : "Writing to the card failed; the savers may not be back.";
    return report;
}

std::string DescribeChange(const JournalRecord& record) {
    std::vector<std::string> gone;
    std::vector<std::string> added;
    record.ChangedSavers(gone, added);
    std::string text;
    if (!gone.empty())
        text += "removed " + Joined(gone);
    if (!added.empty())
        text += (text.empty() ? "" : "; ") + std::string("added ") + Joined(added);
    if (text.empty() && !record.kept.empty())
        text = std::to_string(record.kept.size()) + " data blocks rewritten";
    return text;
}
