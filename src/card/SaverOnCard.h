#pragma once

class CardVolume;

// How much of the card SaverStillOnCard reads again.
enum class SaverCheck {
    // The root, table and every directory block: before writing the
    // saver's blocks back.
    Full,
    // What tells the card and the saver: the root, the table and the
    // directory block of its entry. Enough before only reading the saver.
    Entry,
};

// Whether the card still holds the saver of directory entry `entry` as it
// was read: the entry is listed and the card's root, table and directory read
// back as the listing had them (CompareWithListing, card/SameCard.h). A tool
// window can stay open for as long as the user likes, and the card in a slot
// can be swapped, or an image changed by another program, meanwhile; writing
// the saver's blocks by the old table would then land in another card's
// savers. False too when a block cannot be read (the block store has told
// the user then) or another program holds the image.
bool SaverStillOnCard(CardVolume& volume, int entry, SaverCheck check = SaverCheck::Full);

// Whether writing the saver's blocks back touches that saver only: its entry
// comes from a sound directory chain (blocks 241..253 only, to the end mark),
// and no other listed saver reaches a block of its chain. On a card whose
// directory links or table are damaged an edit could otherwise land in
// another saver's data (or in entries hidden behind the broken link); such a
// card is checked first.
bool WriteBackTouchesOnlySaver(const CardVolume& volume, int entry);
