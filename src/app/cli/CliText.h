#pragma once

#include <string>

// UTF-8 text as a terminal may show it: every control character (C0, DEL and
// C1, which could move the cursor or change the terminal) becomes a blank,
// and every byte that is not part of a valid UTF-8 sequence becomes '?'.
std::string TerminalText(const std::string& utf8);
