#pragma once

#include <cstdint>
#include <string>

class CardVolume;

// Whether the card a command is about to write is still the card its listing
// was read from. Every write the engine makes (a saver's blocks, the table,
// the directory) goes by the listing in memory; on another card, a card
// swapped in the slot since it was read or an image another program changed,
// that table and directory would land over its savers.

enum class ListingMatch : uint8_t {
    Same,        // the root, table and directory read back as listed
    Changed,     // one of them differs
    Doubtful,    // a write of ours to them failed: the card must be read again
    Unreadable,  // a block could not be read again
    Busy,        // another program holds the image
    OrderUnsure, // an image whose byte order only its name gave: only read
};

// Reads the root, table and directory blocks again and compares them with
// the copies the listing was read from (and our own writes since). For an
// image, first takes the lock (exclusive for a card about to be written,
// shared for one only read from), which the command keeps until it ends; an
// image of unsure byte order is never to be written.
// Sets the listing's copy changed (volume.Listing().Copy().changed) on a difference or a card in
// doubt. Writes nothing; a volume never listed has nothing to compare and counts as the same. Each
// block is read once; one that matches is kept in the command's cache as read verified, so that the
// command (and its history, and the refresh after it) reads it no more.
ListingMatch CompareWithListing(CardVolume& volume, bool forWriting = true);

// The same for some of the system blocks only (count of them in blocks).
ListingMatch CompareBlocksWithListing(CardVolume& volume, const uint8_t* blocks, int count,
                                      bool forWriting = true);

// The sentence telling the user why nothing was written; empty for Same.
std::string ListingMatchText(const CardVolume& volume, ListingMatch match);

// CompareWithListing for a command about to write: true when the card is
// the one listed; otherwise the reason goes to the volume's feedback (a link
// failure has been told by the block store already) and false is returned.
bool ReadyToWrite(CardVolume& volume);
