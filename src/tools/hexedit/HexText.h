#pragma once

#include "tools/hexedit/Translation.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Bytes as hex text: two upper-case digits per byte, no separators. With
// swapNibbles the low nibble comes first. The clipboard always uses the
// plain order.
std::string ToHexText(std::span<const uint8_t> bytes, bool swapNibbles);
// Every hex digit of the text (either case) is taken and everything else
// skipped; digits pair into bytes, an unpaired last digit is dropped.
std::vector<uint8_t> FromHexText(std::string_view text, bool swapNibbles);

// A Goto position: decimal, or hexadecimal after "$" or "0x" (either case).
// -1 for anything else, and for values beyond 63 bits.
int64_t ParseGotoPosition(std::string_view text);

// What a typed search text asks for: "t..." searches the characters after
// the t, "T..." the same ignoring case, anything else is hex digits.
struct FindRequest {
    std::vector<uint8_t> bytes; // text mode: the UTF-8 of the text
    bool textMode = false;
    bool ignoreCase = false;
};
// Nothing when the text leaves nothing to search.
std::optional<FindRequest> ParseFindText(std::string_view utf8);

// First occurrence of pattern at or after from, or -1. With ignoreCase both
// sides compare in the lower case of the given character set.
int64_t FindBytes(std::span<const uint8_t> data, std::span<const uint8_t> pattern, bool ignoreCase,
                  Translation translation, int64_t from);
