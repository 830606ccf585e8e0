#pragma once

#include "card/TransferPolicy.h"

#include <cstdint>
#include <span>

class CardVolume;

// The card operations on a list of savers that the window and porvane-cli
// share: each is one change of a card, so one record in its history, one
// write-ahead mark, and one undo takes all of it back.

enum class TransferMode : uint8_t { Copy, Move };

struct TransferSummary {
    int attempted = 0; // copies tried (not left at a name clash or refused before it)
    int copied = 0;    // savers now on the destination
    int moved = 0;     // of those, taken off the source (a move)
    // A card was no longer the one listed: the savers after it were left.
    bool cardChanged = false;
};

// Copies the savers in source entries `entries`, in that order, to
// destination; a move then takes the copied ones off the source. For each
// saver, in this order: a move refuses a saver its source's directory would
// not let go (SaverDeletable) and stops there; a saver named like one on the
// destination goes to the policy; then ReplaceSaverByCopy, whose checks (room,
// a game's blocks from 0, a free entry, both cards the ones listed) all run
// before its first write. A saver left or refused leaves both cards as they
// were; the others go on, until a Stop, a move refused, or a card that is no
// longer the one listed.
//
// The copies are one change of the destination, the deletes one change of
// the source. The deletes come after every copy, and only when no write to
// the destination failed: a change cut off there is taken back whole when
// the card is next read (card/CutChanges.h), and the source must then still
// hold every saver of it.
TransferSummary CopySavers(CardVolume& source, std::span<const int> entries,
                           CardVolume& destination, TransferMode mode, TransferPolicy& policy);

// Deletes the savers in `entries` of volume, in that order, as one change
// (DeleteSaver for each, which refuses and shows why when the card is no
// longer the one listed; the rest are then left too). Returns how many were
// deleted and written back.
int DeleteSavers(CardVolume& volume, std::span<const int> entries);
