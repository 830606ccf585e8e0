#include "card/SaverBatch.h"

#include "card/CardVolume.h"
#include "card/CardWriteBack.h"
#include "card/ChangeRecorder.h"
#include "card/TransferEngine.h"

#include <optional>
#include <string>
#include <vector>

namespace {

bool ValidEntry(int entry) {
    return entry >= 0 && entry < CardVolume::kEntryCount;
}

// "N savers" for the name of a change of several; a change of one saver is
// named by the engine after the saver itself.
std::string Savers(size_t count) {
    return std::to_string(count) + " savers";
}

} // namespace

TransferSummary CopySavers(CardVolume& source, std::span<const int> entries,
                           CardVolume& destination, TransferMode mode, TransferPolicy& policy) {
    TransferSummary summary;
    const bool move = mode == TransferMode::Move;
    std::vector<int> copied;
    copied.reserve(entries.size());
    bool writeFailed = false;
    {
        std::optional<ChangeScope> change;
        if (entries.size() > 1)
            change.emplace(destination,
                           "copy " + Savers(entries.size()) + " from " + VolumeLabel(source));
        const StatusSink status = [&policy](const std::string& text) { policy.ShowStatus(text); };
        for (size_t k = 0; k < entries.size(); ++k) {
            SaverStep step;
            step.index = static_cast<int>(k);
            step.entry = entries[k];
            // A saver copied but then not deleted would be on both cards:
            // refused before anything of it is written.
            if (move && !SaverDeletable(source, step.entry)) {
                step.sourceLocked = true;
                policy.AfterSaver(step);
                break;
            }
            policy.BeforeSaver(step.index, step.entry);
            int old = -1;
            int existing = -1;
            if (ValidEntry(step.entry) &&
                FindSaverByName(destination, source.Entries()[step.entry].Name, existing)) {
                const NameClash answer =
                    policy.AnswerNameClash(source, step.entry, destination, existing);
                if (answer == NameClash::Skip || answer == NameClash::Stop) {
                    policy.AfterSaver(step);
                    if (answer == NameClash::Stop)
                        break;
                    continue;
                }
                if (answer == NameClash::Overwrite)
                    old = existing;
            }
            step.attempted = true;
            ++summary.attempted;
            // The old saver goes in the same write-back that adds the copy,
            // so a copy refused or failed keeps it.
            step.copy = ReplaceSaverByCopy(source, step.entry, destination, old, status);
            if (step.copy.Done()) {
                ++summary.copied;
                copied.push_back(step.entry);
            }
            writeFailed = writeFailed || step.copy.outcome == SaverOutcome::WriteFailed;
            const bool changed =
                step.copy.outcome == SaverOutcome::CardChanged || source.Listing().Copy().changed;
            policy.AfterSaver(step);
            if (changed) {
                summary.cardChanged = true;
                break;
            }
        }
    }
    // After a failed write the destination's change may be taken back when
    // the card is next read: its savers stay on the source meanwhile.
    if (move && !copied.empty() && !writeFailed && !LinkFailedOn(destination)) {
        summary.moved = DeleteSavers(source, copied);
        summary.cardChanged = summary.cardChanged || source.Listing().Copy().changed;
    }
    return summary;
}

int DeleteSavers(CardVolume& volume, std::span<const int> entries) {
    std::optional<ChangeScope> change;
    if (entries.size() > 1)
        change.emplace(volume, "delete " + Savers(entries.size()));
    int deleted = 0;
    for (const int entry : entries) {
        if (DeleteSaver(volume, entry))
            ++deleted;
        // Another card: none of the savers is on it.
        if (volume.Listing().Copy().changed)
            break;
    }
    return deleted;
}
