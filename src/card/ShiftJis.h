#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Japanese savers write their descriptions in Shift-JIS (code page 932).
// Decodes such bytes to UTF-8 for display: plain ASCII stays as it is,
// control bytes and NULs become blanks, every byte that does not decode
// becomes U+FFFD, and trailing blanks are dropped. Never fails.
std::string DecodeShiftJis(const uint8_t* bytes, size_t count);
