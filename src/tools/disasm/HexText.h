#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Hexadecimal texts of the code window's fields (values are read with the
// shared ParseHex of base/ParseHex.h).
namespace disasm {

// value in upper-case hex with at least minDigits digits (leading zeros added,
// never cut): HexAtLeast(0x5A, 4) is "005A", HexAtLeast(0x5A, 0) is "5A",
// HexAtLeast(0, 0) is "0".
std::string HexAtLeast(uint32_t value, int minDigits);

// Outcome of a change to a hex field: either the text is taken and value is
// its number, or the field must be set back to text (the last accepted value
// in as many digits as the refused text had, or as few as it needs).
struct HexFieldCheck {
    bool accepted = false;
    uint32_t value = 0;
    std::string text;
};

// Checks a field's new text (already in upper case) against the value it held
// before. Anything but hex digits is refused, and so is an empty field.
HexFieldCheck CheckHexField(std::string_view text, uint32_t lastAccepted);

} // namespace disasm
