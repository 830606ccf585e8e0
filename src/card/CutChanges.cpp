#include "card/CutChanges.h"

#include "card/CardCheck.h"
#include "card/CardFeedback.h"
#include "card/CardJournal.h"
#include "card/CardWriteBack.h"
#include "card/JournalPending.h"
#include "card/SaverText.h"

#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int kQuarter = 128;

// Whether every quarter of every system block reads as before the change,
// as the change would leave it, or as one of its writes on the way.
bool CardOfChange(const CutChange& cut, const BlockBytes (&now)[kSystemBlocks]) {
    for (int k = 0; k < kSystemBlocks; ++k) {
        for (int q = 0; q < CardVolume::kBlockSize; q += kQuarter) {
            auto same = [&](const uint8_t* block) {
                return std::memcmp(now[k] + q, block + q, kQuarter) == 0;
            };
            bool known = same(cut.before[k]) || (cut.planned && same(cut.after[k]));
            for (const KeptBlock& w : cut.writes) {
                if (!known && w.block == CardVolume::kDirLastBlock + k)
                    known = same(w.before);
            }
            if (!known)
                return false;
        }
    }
    return true;
}

std::string CheckText(CardVolume& volume, SettleOutcome& out) {
    CardCheckReport report;
    if (!CheckCard(volume, report))
        return " The card could not be checked afterwards.";
    out.clean = report.Clean();
    if (out.clean)
        return " The card check finds no problem.";
    const int n = report.ProblemCount();
    return " The card check finds " + std::to_string(n) + (n == 1 ? " problem" : " problems") +
           "; \"Check card...\" tells more.";
}

// Finishes or takes back the change whose mark cut is, on a card that holds
// now; false when a write failed.
bool PutRight(CardVolume& volume, const CutChange& cut, const BlockBytes (&now)[kSystemBlocks],
              bool finish) {
    PendingChange mark;
    mark.Reopen(cut.path);
    if (!finish) {
        for (const KeptBlock& k : cut.kept) {
            if (!volume.WriteRawBlock(volume.Device(), k.block, k.before) || LinkFailedOn(volume))
                return false;
        }
    }
    // Each block on its way is marked first: cut off again, the card still
    // reads as this change's.
    const bool ok = WriteSystemState(
        volume, now, finish ? cut.after : cut.before,
        [&](uint8_t block, const uint8_t* data) { (void)mark.Write(block, data); });
    mark.Leave();
    return ok;
}

} // namespace

std::string FinishQuestion(const std::string& card, const std::string& command) {
    return "The change \"" + command + "\" of " + card +
           " was cut off before it was done. Finish it? (No takes it back.)";
}

bool HasCutChange(const CardVolume& volume, const CardJournal& journal) {
    std::vector<std::string> marks = PendingFiles(journal.Folder(), CardJournal::Location(volume));
    std::erase(marks, journal.MarkUnderWay());
    return !marks.empty();
}

SettleOutcome SettleCutChange(CardVolume& volume, CardJournal& journal) {
    SettleOutcome out;
    const std::string location = CardJournal::Location(volume);
    std::vector<std::string> marks = PendingFiles(journal.Folder(), location);
    std::erase(marks, journal.MarkUnderWay());
    if (marks.empty())
        return out;
    static BlockBytes now[kSystemBlocks];
    volume.Store().Cache().ForgetAll();
    if (!ReadSystemBlocks(volume, now))
        return out;
    auto cut = std::make_unique<CutChange>();
    bool mine = false;
    for (const std::string& path : marks) {
        if (LoadCutChange(path, *cut) && CardOfChange(*cut, now)) {
            mine = true;
            break;
        }
    }
    if (!mine)
        return out; // another card's, or changed since by another program
    out.found = true;
    const std::string card = VolumeLabel(volume);
    const std::string head = "The change \"" + SaverText(cut->command) + "\" of " + card;

    const bool asBefore = std::memcmp(now, cut->before, sizeof now) == 0;
    const bool asAfter = cut->planned && std::memcmp(now, cut->after, sizeof now) == 0;
    if (asBefore && cut->kept.empty()) {
        // Nothing of it reached the card's system blocks, and it overwrote
        // no saver's data.
        PendingChange mark;
        if (mark.Reopen(cut->path))
            mark.Done();
        out.settled = true;
        out.message = head + " was cut off before it reached the card; the card is as it was.";
        out.message += CheckText(volume, out);
        return out;
    }
    // All of it reached the card: it only was not marked done. Else finish
    // only when asked to, and when the change had said where it was going.
    bool finish = asAfter;
    if (!finish && cut->planned && volume.Store().Feedback() != nullptr)
        finish = volume.Store().Feedback()->Confirm(FinishQuestion(card, SaverText(cut->command)));
    std::string stored;
    if (!PutRight(volume, *cut, now, finish)) {
        out.message = head + " was cut off before it was done, and " +
                      (finish ? "finishing" : "taking back") +
                      " it failed too: writing to the card failed. The card may need \"Check "
                      "card...\".";
        return out;
    }
    if (finish) {
        // Now it is a change like any other: into the card's history.
        JournalRecord record;
        record.command = cut->command;
        record.time = cut->time;
        std::memcpy(record.before, cut->before, sizeof record.before);
        std::memcpy(record.after, cut->after, sizeof record.after);
        record.kept = cut->kept;
        const uint8_t* saved[CardVolume::kBlockCount] = {};
        for (const KeptBlock& k : record.kept)
            saved[k.block] = k.before;
        journal.BuildRecord(volume, record, saved);
        std::error_code ec;
        const fs::path history = fs::path(journal.Folder()) / cut->history;
        const bool continues = !cut->history.empty() && fs::is_regular_file(history, ec);
        if (!journal.StoreRecord(location, continues ? history.string() : "", record, stored))
            stored = " It is not in the history: " + stored + ".";
        else
            stored.clear();
    }
    PendingChange mark;
    if (mark.Reopen(cut->path))
        mark.Done();
    out.settled = true;
    out.finished = finish;
    out.message = head + " was cut off before it was done; it has been " +
                  (finish ? "finished." : "taken back.");
    out.message += stored;
    out.message += CheckText(volume, out);
    return out;
}
