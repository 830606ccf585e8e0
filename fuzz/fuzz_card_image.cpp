// A card image from outside: everything the program reads from one, and
// the commands that change one, run on a copy.
#include "FuzzCards.h"
#include "card/CardCheck.h"
#include "card/CardListing.h"
#include "card/DciFile.h"
#include "card/ReplaceSaver.h"
#include "card/TransferEngine.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace {

using fuzz::MemFile;
using fuzz::OpenCard;

// Listing, icons and exports: what refresh, the views and export read.
void ReadEverything(const MemFile& image, MemFile& out) {
    OpenCard card(image);
    CardVolume& vol = *card.volume;
    if (!card.listed)
        return;
    for (int k = 0; k < vol.ListedCount(); ++k) {
        const int index = vol.ListMap()[k];
        const SaverEntry& e = vol.Entries()[index];
        for (int f = 0; f < e.ShownFrames(); ++f)
            vol.ExtractIcon(static_cast<uint8_t>(index), static_cast<uint16_t>(f), out.Path());
        ExportDci(out.Path(), index, vol);
        ExportSaverToWorkFile(out.Path(), index, vol);
    }
}

// On a copy: every saver exported, deleted and imported back, written back
// through the work file, copied to an empty card; then the repair.
void ChangeACopy(const std::vector<uint8_t>& bytes, MemFile& copy, MemFile& dci, MemFile& work,
                 MemFile& other) {
    copy.Set(bytes);
    other.Set(fuzz::FormattedCard());
    OpenCard card(copy);
    OpenCard empty(other);
    CardVolume& vol = *card.volume;
    // The window lists the card again after every command; so does this.
    std::vector<int> savers;
    for (int k = 0; card.listed && k < vol.ListedCount(); ++k)
        savers.push_back(vol.ListMap()[k]);
    for (int index : savers) {
        if (vol.Entries()[index].SizeBlocks == 0)
            continue;
        if (ExportSaverToWorkFile(work.Path(), index, vol))
            ImportWorkFileToSaver(work.Path(), index, vol);
        CopySaver(vol, index, *empty.volume);
        ListSavers(*empty.volume);
        if (!ExportDci(dci.Path(), index, vol))
            continue;
        const std::string name = vol.Entries()[index].Name;
        ReplaceSaverByImport(dci.Path(), vol, index);
        ListSavers(vol);
        int now = -1;
        if (FindSaverByName(vol, name, now) && DeleteSaver(vol, now)) {
            ListSavers(vol);
            ImportDci(dci.Path(), vol);
            ListSavers(vol);
        }
    }
    CardRepairReport report;
    RepairCard(vol, report);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static MemFile image("image");
    static MemFile copy("copy");
    static MemFile out("out");
    static MemFile dci("dci");
    static MemFile work("work");
    static MemFile other("other");
    const std::vector<uint8_t> bytes = fuzz::CardBytes(data, size);
    image.Set(bytes);

    ReadEverything(image, out);
    {
        OpenCard card(image);
        CardCheckReport report;
        CheckCard(*card.volume, report);
    }
    ChangeACopy(bytes, copy, dci, work, other);
    return 0;
}
