#include "card/SameCard.h"

#include "card/CardFeedback.h"
#include "card/CardImageOrder.h"
#include "card/CardVolume.h"
#include "card/ImageLock.h"
#include "link/LinkPort.h"

#include <cstring>

namespace {

std::string CardName(const CardVolume& volume) {
    if (volume.Place() == CardPlace::Image)
        return "The card image " + volume.ImageName();
    return volume.Place() == CardPlace::Slot1 ? "The card in slot 1" : "The card in slot 2";
}

bool LinkFailed(const CardVolume& volume) {
    return volume.Place() != CardPlace::Image && volume.Store().Link() != nullptr &&
           volume.Store().Link()->LinkFailed;
}

} // namespace

ListingMatch CompareWithListing(CardVolume& volume, bool forWriting) {
    // Root and table first: a swapped card almost always differs there.
    uint8_t blocks[ListingCopy::kBlocks];
    for (int k = 0; k < ListingCopy::kBlocks; ++k)
        blocks[k] = static_cast<uint8_t>(CardVolume::kRootBlock - k);
    return CompareBlocksWithListing(volume, blocks, ListingCopy::kBlocks, forWriting);
}

ListingMatch CompareBlocksWithListing(CardVolume& volume, const uint8_t* blocks, int count,
                                      bool forWriting) {
    if (forWriting && volume.Place() == CardPlace::Image && volume.Store().ImageOrderUnsure())
        return ListingMatch::OrderUnsure;
    // Taken (or raised from shared) before the blocks are read again below:
    // what another program wrote meanwhile shows up there.
    if (!LockImage(volume, forWriting))
        return ListingMatch::Busy;
    if (volume.Listing().Copy().Doubtful()) {
        volume.Listing().Copy().changed = true;
        return ListingMatch::Doubtful;
    }
    uint8_t raw[CardVolume::kBlockSize];
    uint8_t block[CardVolume::kBlockSize];
    for (int k = 0; k < count; ++k) {
        const uint8_t n = blocks[k];
        if (!volume.Listing().Copy().Kept(n))
            continue;
        // The card itself: it may have been swapped since the command read
        // it. One read does, verified transfers or not: a garbled read
        // differs from the listing, and only makes the check refuse; it
        // never lets a write through, as it cannot come back as exactly the
        // bytes the listing holds. A read that does agrees with the one
        // the listing was taken from, which is what a verified read asks.
        if (!volume.ReadBlockOnce(volume.Device(), n, raw) || LinkFailed(volume))
            return ListingMatch::Unreadable;
        std::memcpy(block, raw, sizeof block);
        SwapWords(block);
        if (std::memcmp(block, volume.Listing().Copy().Data(n), CardVolume::kBlockSize) != 0) {
            volume.Listing().Copy().changed = true;
            return ListingMatch::Changed;
        }
        if (volume.Place() != CardPlace::Image && volume.Store().Link() != nullptr)
            volume.Store().Cache().Keep(n, volume.Store().Link()->Selection(), raw);
    }
    return ListingMatch::Same;
}

std::string ListingMatchText(const CardVolume& volume, ListingMatch match) {
    switch (match) {
    case ListingMatch::Same:
        return "";
    case ListingMatch::Changed:
        return CardName(volume) + " changed since it was read; nothing was written.";
    case ListingMatch::Doubtful:
        return CardName(volume) +
               " may not hold what was last written to it; read it again first. Nothing was "
               "written.";
    case ListingMatch::Unreadable:
        return CardName(volume) + " could not be read again before writing; nothing was written.";
    case ListingMatch::Busy:
        return ImageBusyText(volume.ImageName());
    case ListingMatch::OrderUnsure:
        return OrderUnknownText(volume.ImageName());
    }
    return "";
}

bool ReadyToWrite(CardVolume& volume) {
    const ListingMatch match = CompareWithListing(volume);
    if (match == ListingMatch::Same)
        return true;
    // A read that failed over the link has been told by the block store.
    const bool told = match == ListingMatch::Unreadable && LinkFailed(volume);
    if (volume.Store().Feedback() != nullptr && !told)
        volume.Store().Feedback()->ShowWarning(ListingMatchText(volume, match));
    return false;
}
