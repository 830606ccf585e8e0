#pragma once

#include "card/CardImageOrder.h"
#include "card/CardVolume.h"

#include <string>

// Whole-card transfers between a slot volume and a card-image file (".DCM":
// 256 blocks of 512 bytes in card order, no header). The caller shows the wait
// window; progress goes to the volume's CardFeedback.

// What a file offered as a card image is: only a regular file (or a link to
// one) of exactly 131072 bytes is opened. StatFailed sets *reason to the
// system's words when the file could not even be looked at.
enum class ImageFileCheck { Fits, NotRegular, WrongSize, StatFailed };
ImageFileCheck CheckImageFile(const std::string& path, std::string* reason = nullptr);

// Reads blocks 0..255 of the volume into a new file (an existing one is
// truncated). Stops after the first failed read, whose block still ends the
// file. True when every block was read and written to the file. Natural
// order writes a raw card dump instead of a DCM.
bool SaveCardImage(const std::string& path, CardVolume& volume,
                   ImageOrder order = ImageOrder::Card);

// Writes blocks 0..255 of the image file onto the volume, root, table and
// directory included, stopping at the first failed write. A file that cannot
// be opened or is not exactly 131072 bytes long, or a card that is no longer
// the one listed (ReadyToWrite, card/SameCard.h), is refused before anything
// is written. A raw card dump (natural order, told by its root or its name) is
// turned to card order on the way. The file is read under a shared lock
// (card/ImageLock.h); one kept by another program, or whose order is unsure
// (CardImageOrder.h), is refused too, with the reason told to the volume's
// feedback. True when every block was written.
bool UploadCardImage(const std::string& path, CardVolume& volume);
