#pragma once

#include "card/CardVolume.h"

class CardFeedback;

// What reading a card found.
enum class VolumeLoad { Loaded, NotFormatted, Failed };

struct LoadResult {
    VolumeLoad state = VolumeLoad::Failed;
    // For Failed: the step that failed, without the card's name, e.g.
    // "cannot read the directory"; empty otherwise.
    const char* failure = "";

    bool Loaded() const { return state == VolumeLoad::Loaded; }
    explicit operator bool() const { return Loaded(); }
};

// Reads a card as every view of it starts: the root, the allocation table,
// the system chains put right in memory (never on the card), the directory,
// then the listing (ListMap, ListedCount, FreeBlocks). A card that was never
// formatted comes back NotFormatted with nothing listed. A read that fails,
// or a slot whose link failed on the way, ends the reading at that step
// with Failed and leaves the listing of the card read before untouched. An
// image is read under its shared lock (card/ImageLock.h), kept afterwards;
// when another program keeps it for the whole wait the volume's feedback is told
// and the result is Failed.
// When progress is given it is told 0, 1 and 2 of 3 before the root, the
// table and the directory. Without headers the savers' header blocks are
// not read (CardVolume::ReadDirectory): for a command that needs only the
// entries.
LoadResult LoadVolume(CardVolume& volume, CardFeedback* progress = nullptr, bool headers = true);
