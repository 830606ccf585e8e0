#include "card/JournalCommands.h"

#include "card/CardProof.h"
#include "card/CardWriteBack.h"
#include "card/ImageLock.h"
#include "card/SaverText.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr size_t kSystemBytes = sizeof(BlockBytes) * kSystemBlocks;

bool Write(CardVolume& volume, uint8_t block, const uint8_t* data) {
    return volume.WriteRawBlock(volume.Device(), block, data) && !LinkFailedOn(volume);
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

JournalOutcome Refused(const std::string& message) {
    JournalOutcome out;
    out.refused = true;
    out.message = message;
    return out;
}

const char* const kUnreadable = "The card could not be read; nothing was changed.";
const char* const kNoHistory =
    "No change in the history leaves this card as it is now: another program changed it "
    "since, or it is another card.";

// The card as it is, not as the command read it, and its history.
bool ReadCardAndHistory(CardVolume& volume, const CardJournal& journal,
                        BlockBytes (&current)[kSystemBlocks], std::vector<JournalRecord>& records) {
    records.clear();
    volume.Store().Cache().ForgetAll();
    if (!ReadSystemBlocks(volume, current))
        return false;
    journal.FindHistory(volume, current, records);
    return true;
}

// Why writing target over current would be wrong: a problem the card does
// not have now; empty when there is none.
std::string WorseCard(const BlockBytes (&current)[kSystemBlocks],
                      const BlockBytes (&target)[kSystemBlocks]) {
    CardProof now;
    CardProof after;
    CheckSystemImage(current, now);
    if (!CheckSystemImage(target, after) && now.report.readable)
        return "The card could not be checked as it would be left.";
    return NewProblem(now, after);
}

// The hash of a saver's blocks as the card will hold them once the kept
// blocks are written back; false when a block could not be read.
bool HashAsLeft(CardVolume& volume, const JournalSaver& s, const std::vector<KeptBlock>& kept,
                uint64_t& hash) {
    hash = HashBytes(nullptr, 0);
    uint8_t block[CardVolume::kBlockSize];
    for (int i = 0; i < s.count; ++i) {
        const auto k = std::find_if(kept.begin(), kept.end(),
                                    [&](const KeptBlock& b) { return b.block == s.chain[i]; });
        if (k != kept.end())
            std::memcpy(block, k->before, sizeof block);
        else if (!volume.ReadRawBlock(volume.Device(), s.chain[i], block) || LinkFailedOn(volume))
            return false;
        hash = HashBytes(block, sizeof block, hash);
    }
    return true;
}

} // namespace

std::string ShownCommand(const JournalRecord& record) {
    return SaverText(record.command);
}

bool ReadHistory(CardVolume& volume, const CardJournal& journal,
                 std::vector<JournalRecord>& records) {
    static BlockBytes current[kSystemBlocks];
    return ReadCardAndHistory(volume, journal, current, records);
}

JournalOutcome UndoLastChange(CardVolume& volume, CardJournal& journal) {
    static BlockBytes current[kSystemBlocks];
    // Held from the reads below to the last write.
    std::string why;
    if (!LockImageForWriting(volume, why))
        return Refused(why);
    std::vector<JournalRecord> records;
    if (!ReadCardAndHistory(volume, journal, current, records))
        return Refused(kUnreadable);
    if (records.empty())
        return Refused(std::string(kNoHistory) + " Nothing was undone.");
    const JournalRecord& last = records.back();
    const std::string shown = Quoted(ShownCommand(last));

    // Every saver the undo brings back must come back with its own bytes.
    for (const JournalSaver& s : last.removed) {
        const std::string saver = "Undoing " + shown + " would bring back " + SaverText(s.Name());
        if (s.hash == 0)
            return Refused(saver + ", whose blocks could not be kept whole when it was taken "
                                   "off. Nothing was undone.");
        uint64_t hash = 0;
        if (!HashAsLeft(volume, s, last.kept, hash) || hash != s.hash)
            return Refused(saver + " with other bytes than its own: its blocks were changed "
                                   "since. Nothing was undone.");
    }
    const std::string worse = WorseCard(current, last.before);
    if (!worse.empty())
        return Refused("Undoing " + shown +
                       " would leave the card with a problem it does not have now: " + worse +
                       " Nothing was undone.");

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
    out.message =
        ok ? "Undid " + shown + "." : "Writing to the card failed while undoing " + shown + ".";
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
    std::vector<JournalRecord> records;
    if (!ReadCardAndHistory(volume, journal, current, records)) {
        report.outcome = Refused(kUnreadable);
        return report;
    }
    if (records.empty()) {
        report.outcome = Refused(std::string(kNoHistory) + " Nothing was recovered.");
        return report;
    }
    if (record >= static_cast<int>(records.size())) {
        report.outcome = Refused("There is no such change in the card's history.");
        return report;
    }
    SystemView work(current);

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
    const int userBlocks = work.UserBlocks();
    for (const JournalSaver* s : candidates) {
        const std::string label = SaverText(s->Name());
        bool listed = false;
        bool sameName = false;
        for (const auto& raw : work.entries) {
            if (!SystemView::InUse(raw))
                continue;
            listed = listed || std::memcmp(raw, s->raw, SaverEntry::kSize) == 0;
            JournalSaver other;
            std::memcpy(other.raw, raw, SaverEntry::kSize);
            sameName = sameName || other.Name() == s->Name();
        }
        if (listed)
            continue; // already back
        if (sameName) {
            report.lost.push_back(label + ": a saver of that name is on the card");
            continue;
        }
        bool inside = s->count > 0;
        for (int i = 0; i < s->count; ++i)
            inside = inside && s->chain[i] < userBlocks;
        if (!inside) {
            report.lost.push_back(label + ": its blocks lie beyond the card's " +
                                  std::to_string(userBlocks) + " user blocks");
            continue;
        }
        bool free = s->hash != 0;
        for (int i = 0; i < s->count && free; ++i)
            free = work.fat[s->chain[i]] == CardVolume::kFatFree;
        uint64_t hash = 0;
        if (!free || !HashAsLeft(volume, *s, {}, hash) || hash != s->hash) {
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
                                                  : "No deleted saver " + Quoted(SaverText(name)) +
                                                        " in the card's history.");
        else
            report.outcome = Refused("Nothing was recovered.");
        return report;
    }

    std::memcpy(target, current, kSystemBytes);
    EncodeFat(work.fat, target[kFatIndex]);
    for (int k = 0; k < CardVolume::kDirBlocks; ++k)
        EncodeDirectory(work.entries, k, target[DirectoryIndex(k)]);
    const std::string worse = WorseCard(current, target);
    if (!worse.empty()) {
        report.outcome =
            Refused("Recovering " + Joined(added) +
                    " would leave the card with a problem it does not have now: " + worse +
                    " Nothing was recovered.");
        return report;
    }
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
    for (std::string& n : gone)
        n = SaverText(n);
    for (std::string& n : added)
        n = SaverText(n);
    std::string text;
    if (!gone.empty())
        text += "removed " + Joined(gone);
    if (!added.empty())
        text += (text.empty() ? "" : "; ") + std::string("added ") + Joined(added);
    if (text.empty() && !record.kept.empty())
        text = std::to_string(record.kept.size()) + " data blocks rewritten";
    return text;
}
