#pragma once

#include <cstdint>
#include <string_view>

// The value of a text of upper-case hexadecimal digits, the last character
// being the lowest digit. An empty text, or one with any other character,
// gives 0xFFFF. Digits beyond eight wrap round as 32-bit arithmetic does;
// callers that write the value back and compare (the settings dialog) see
// such a text as invalid.
inline int32_t ParseHex(std::string_view text) {
    if (text.empty())
        return 0xFFFF;
    uint32_t value = 0;
    for (const char c : text) {
        uint32_t digit = 0;
        if (c >= '0' && c <= '9')
            digit = static_cast<uint32_t>(c - '0');
        else if (c >= 'A' && c <= 'F')
            digit = static_cast<uint32_t>(c - 'A' + 10);
        else
            return 0xFFFF;
        value = value * 16 + digit;
    }
    return static_cast<int32_t>(value);
}
