#pragma once

#include "card/CardVolume.h"

// The listing a card view shows: ListMap holds the directory index of every
// saver of entries 0..207 in directory order, empty entries skipped (0xFF
// beyond ListedCount); FreeBlocks is the user block count less the listed
// sizes, floored at 0 so that an inconsistent directory cannot wrap it round.
void ListSavers(CardVolume& volume);

// An erased card lists nothing: no entry shown, no block free.
void ClearListing(CardVolume& volume);
