#include "FuzzCards.h"

#include "card/LoadVolume.h"
#include "card/SideFiles.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace fuzz {

std::vector<uint8_t> CardBytes(const uint8_t* data, size_t size) {
    std::vector<uint8_t> card(static_cast<size_t>(CardVolume::kCardBytes), 0xFF);
    const size_t used = std::min(size, card.size());
    std::copy(data, data + used, card.end() - static_cast<std::ptrdiff_t>(used));
    return card;
}

const std::vector<uint8_t>& FormattedCard() {
    static const std::vector<uint8_t> card = [] {
        // The template writer renames into place, so it needs a real folder.
        const std::string path = PrivateFolder() + "/template.dcm";
        std::vector<uint8_t> bytes(static_cast<size_t>(CardVolume::kCardBytes));
        std::FILE* in = WriteImageTemplate(path) ? std::fopen(path.c_str(), "rb") : nullptr;
        if (in == nullptr || std::fread(bytes.data(), 1, bytes.size(), in) != bytes.size())
            std::abort();
        std::fclose(in);
        std::remove(path.c_str());
        return bytes;
    }();
    return card;
}

OpenCard::OpenCard(const MemFile& file) {
    CardVolume& vol = *volume;
    vol.SetPlace(CardPlace::Image);
    vol.Store().SetConfig(&settings);
    vol.Store().SetFeedback(&ui);
    if (!vol.OpenImage(file.Path()))
        std::abort();
    listed = LoadVolume(vol).Loaded();
}

} // namespace fuzz
