#include "card/SameCard.h"

#include "card/CardImageOrder.h"
#include "card/CardUi.h"
#include "card/CardVolume.h"
#include "card/ImageLock.h"
#include "link/LinkPort.h"

#include <cstring>

namespace {

std::string CardName(const CardVolume& volume) {
    if (volume.Device >= CardVolume::kImage)
        return "The card image " + volume.ImageName;
    return volume.Device == CardVolume::kSlot1 ? "The card in slot 1" : "The card in slot 2";
}

bool LinkFailed(const CardVolume& volume) {
    return volume.Device < CardVolume::kImage && volume.Link != nullptr && volume.Link->LinkFailed;
}

} // namespace

ListingMatch CompareWithListing(CardVolume& volume, bool forWriting) {
    if (forWriting && volume.Device >= CardVolume::kImage && volume.ImageOrderUnsure)
        return ListingMatch::OrderUnsure;
    // Taken (or raised from shared) before the blocks are read again below:
    // what another program wrote meanwhile shows up there.
    if (!LockImage(volume, forWriting))
        return ListingMatch::Busy;
    if (volume.Listed.Doubtful()) {
        volume.Listed.changed = true;
        return ListingMatch::Doubtful;
    }
    uint8_t block[CardVolume::kBlockSize];
    // Root and table first: a swapped card almost always differs there.
    for (int b = CardVolume::kRootBlock; b >= ListingCopy::kFirstBlock; --b) {
        const auto n = static_cast<uint8_t>(b);
        if (!volume.Listed.Kept(n))
            continue;
        // The card itself: it may have been swapped since the command read it.
        if (!volume.ReadFreshBlock(volume.Device, n, block) || LinkFailed(volume))
            return ListingMatch::Unreadable;
        SwapWords(block);
        if (std::memcmp(block, volume.Listed.Data(n), CardVolume::kBlockSize) != 0) {
            volume.Listed.changed = true;
            return ListingMatch::Changed;
        }
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
        return ImageBusyText(volume.ImageName);
    case ListingMatch::OrderUnsure:
        return OrderUnknownText(volume.ImageName);
    }
    return "";
}

bool ReadyToWrite(CardVolume& volume) {
    const ListingMatch match = CompareWithListing(volume);
    if (match == ListingMatch::Same)
        return true;
    // A read that failed over the link has been told by the block store.
    const bool told = match == ListingMatch::Unreadable && LinkFailed(volume);
    if (volume.Ui != nullptr && !told)
        volume.Ui->ShowWarning(ListingMatchText(volume, match));
    return false;
}
