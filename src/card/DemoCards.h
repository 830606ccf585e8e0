#pragma once

#include <string>

// Cards for the emulated link box, so that the program can be tried without
// hardware: slot1.dcm, a formatted card with a few savers of this program's
// own making (a data saver with a 3-frame icon, a game at block 0 with a
// short 86K program, a caption logo), and slot2.dcm, formatted and empty.
// The folder is created when missing. A card that exists is never replaced,
// and a card appears whole or not at all. True when both files exist
// afterwards; error (if given) says why not.
bool EnsureDemoCards(const std::string& folder, std::string* error = nullptr);
