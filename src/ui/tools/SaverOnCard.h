#pragma once

class CardVolume;

// Whether the card still holds the saver of directory entry `entry` as it
// was read: its directory entry and the table links along its chain read
// back from the card exactly as memory has them. A tool window can stay open
// for as long as the user likes, and the card in a slot can be swapped
// meanwhile; writing the saver's blocks by the old table would then land in
// another card's savers. Reads two blocks; false when either cannot be read
// (the block store has told the user then).
bool SaverStillOnCard(CardVolume& volume, int entry);
