#pragma once

#include <cstdio>
#include <string>

class CardVolume;

// One writer per card image: a command holds a flock on the image file from
// its first read to its last write, so that two programs (or two runs of the
// command-line tool) never interleave their read-check-write on one card.
// Every reader of a whole image holds a shared lock, every writer an
// exclusive one.

// How long a command waits for another one to finish with the image.
inline constexpr int kImageLockWaitMs = 2000;

// Takes a shared (readers) or exclusive (writers) flock on the volume's open
// image file, waiting up to waitMs while another holds it; the volume's
// feedback repaints meanwhile. True at once for a slot, or when the lock is held
// already; true too where the file system has no locks at all. False when
// another program kept the image for the whole wait.
//
// A shared lock raised to exclusive is let go for a moment (flock has no
// other way): another program may write in between, so whatever was read
// under the shared lock must be read again before it is written by (as
// CompareWithListing does). A raise that fails keeps the shared lock.
bool LockImage(CardVolume& volume, bool exclusive, int waitMs = kImageLockWaitMs);
// Lets the lock go; the image stays open.
void UnlockImage(CardVolume& volume);

// For a command about to write the volume's image: the exclusive lock, on an
// image whose byte order is sure. False with why set (the sentence for the
// user) otherwise. True at once for a slot.
bool LockImageForWriting(CardVolume& volume, std::string& why);

// A shared lock on an image file read whole outside a volume (convert,
// upload), waiting as LockImage does; it goes with the file's close.
bool LockImageFile(std::FILE* file, int waitMs = kImageLockWaitMs);

// The refusal when another program keeps the image.
std::string ImageBusyText(const std::string& imageName);
