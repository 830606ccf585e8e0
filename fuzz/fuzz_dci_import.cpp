// A single-saver file from outside, placed on a card: beside the savers of
// an empty card, and in place of a saver of the demo card; and the same
// bytes as an edited work file written back over a saver.
#include "FuzzCards.h"
#include "card/CardListing.h"
#include "card/DciFile.h"
#include "card/DemoCards.h"
#include "card/ReplaceSaver.h"
#include "card/TransferEngine.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using fuzz::MemFile;
using fuzz::OpenCard;

// slot1 of the demo cards: a game at block 0, a data saver, a caption logo.
const std::vector<uint8_t>& DemoCard() {
    static const std::vector<uint8_t> card = [] {
        const std::string folder = fuzz::PrivateFolder() + "/demo";
        std::vector<uint8_t> bytes(static_cast<size_t>(CardVolume::kCardBytes));
        std::FILE* in =
            EnsureDemoCards(folder) ? std::fopen((folder + "/slot1.dcm").c_str(), "rb") : nullptr;
        if (in == nullptr || std::fread(bytes.data(), 1, bytes.size(), in) != bytes.size())
            std::abort();
        std::fclose(in);
        return bytes;
    }();
    return card;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static MemFile dci("dci");
    static MemFile card("card");
    dci.Set(data, size);
    (void)ReadDciName(dci.Path());

    card.Set(fuzz::FormattedCard());
    {
        OpenCard empty(card);
        DciImportResult result = DciImportResult::Imported;
        ImportDci(dci.Path(), *empty.volume, &result);
    }
    card.Set(DemoCard());
    {
        OpenCard demo(card);
        CardVolume& vol = *demo.volume;
        for (int k = 0; demo.listed && k < vol.ListedCount(); ++k) {
            ReplaceSaverByImport(dci.Path(), vol, vol.ListMap()[k]);
            ListSavers(vol);
        }
    }
    // The same bytes as the work file a tool window hands back ("~ico._"),
    // written over each saver of the demo card.
    card.Set(DemoCard());
    {
        OpenCard demo(card);
        CardVolume& vol = *demo.volume;
        for (int k = 0; demo.listed && k < vol.ListedCount(); ++k)
            ImportWorkFileToSaver(dci.Path(), vol.ListMap()[k], vol);
    }
    return 0;
}
