#include "tools/disasm/HexText.h"

#include "base/ParseHex.h"

namespace disasm {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

} // namespace

std::string HexAtLeast(uint32_t value, int minDigits) {
    char digits[8];
    int count = 0;
    do {
        digits[count++] = kHexDigits[value & 0xF];
        value >>= 4;
    } while (value != 0 && count < 8);
    std::string text;
    for (int pad = count; pad < minDigits; ++pad)
        text += '0';
    while (count > 0)
        text += digits[--count];
    return text;
}

HexFieldCheck CheckHexField(std::string_view text, uint32_t lastAccepted) {
    const int length = static_cast<int>(text.size());
    const auto value = static_cast<uint32_t>(ParseHex(text));
    HexFieldCheck check;
    // A text that does not read back the same was not a plain hex number
    // ("FFFF" itself reads back and is taken).
    if (HexAtLeast(value, length) != text) {
        check.text = HexAtLeast(lastAccepted, length);
        check.value = lastAccepted;
        return check;
    }
    check.accepted = true;
    check.value = value;
    check.text = std::string(text);
    return check;
}

} // namespace disasm
