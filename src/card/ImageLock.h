#pragma once

#include <string>

class CardVolume;

// One writer per card image: a command holds a flock on the image file from
// its first read to its last write, so that two programs (or two runs of the
// command-line tool) never interleave their read-check-write on one card.

// How long a command waits for another one to finish with the image.
inline constexpr int kImageLockWaitMs = 2000;

// Takes a shared (readers) or exclusive (writers) flock on the volume's open
// image file, waiting up to waitMs while another holds it; the volume's Ui
// repaints meanwhile. True at once for a slot, or when the lock is held
// already (a shared one is raised to exclusive when asked); true too where
// the file system has no locks at all. False when another program kept the
// image for the whole wait.
bool LockImage(CardVolume& volume, bool exclusive, int waitMs = kImageLockWaitMs);
// Lets the lock go; the image stays open.
void UnlockImage(CardVolume& volume);

// The refusal when another program keeps the image.
std::string ImageBusyText(const std::string& imageName);
