#pragma once

// Card volumes over memory files for the fuzz targets.

#include "FuzzFiles.h"
#include "card/CardFeedback.h"
#include "card/CardVolume.h"
#include "settings/Settings.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace fuzz {

// The bytes of a card image: a whole image as it is; a shorter input is the
// card's last bytes (root, table and directory first), the blocks before it
// blank (0xFF), so that small inputs reach the file system's own blocks.
std::vector<uint8_t> CardBytes(const uint8_t* data, size_t size);

// An empty card formatted by the program with 200 user blocks.
const std::vector<uint8_t>& FormattedCard();

// An image volume over file, read as a card view reads it: root and table,
// then for a formatted card the system chains, directory and listing.
struct OpenCard {
    explicit OpenCard(const MemFile& file);
    std::unique_ptr<CardVolume> volume = std::make_unique<CardVolume>();
    Settings settings;
    SilentCardFeedback ui;
    bool listed = false; // formatted, and the directory was read
};

} // namespace fuzz
