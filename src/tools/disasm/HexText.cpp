#include "tools/disasm/HexText.h"

namespace disasm {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

} // namespace

int32_t ParseHex(std::string_view text) {
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
        value = value << 4 | digit;
    }
    return static_cast<int32_t>(value);
}

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
