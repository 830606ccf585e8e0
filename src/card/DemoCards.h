#pragma once

#include <string>

// Cards for the emulated link box, so the program can be tried without
// hardware: slot1.dcm with a few savers of the project's own making and
// slot2.dcm formatted and empty. A file that exists is never replaced. True
// when both files exist afterwards; error (if given) says why not.
bool EnsureDemoCards(const std::string& folder, std::string* error = nullptr);
