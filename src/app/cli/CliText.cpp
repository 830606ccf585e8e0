#include "app/cli/CliText.h"

namespace {

// Length of the UTF-8 sequence starting at text[i] and its code point; 0
// when the bytes there are no valid sequence.
size_t Utf8At(const std::string& text, size_t i, unsigned& code) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const size_t length = lead < 0x80           ? 1
                          : (lead >> 5) == 0x6  ? 2
                          : (lead >> 4) == 0xE  ? 3
                          : (lead >> 3) == 0x1E ? 4
                                                : 0;
    if (length == 0 || i + length > text.size())
        return 0;
    code = length == 1 ? lead : lead & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (next & 0x3F);
    }
    static constexpr unsigned kLeast[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kLeast[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    return length;
}

} // namespace

std::string TerminalText(const std::string& utf8) {
    std::string text;
    text.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        unsigned code = 0;
        const size_t length = Utf8At(utf8, i, code);
        if (length == 0) {
            text += '?';
            ++i;
            continue;
        }
        if (code < 0x20 || (code >= 0x7F && code < 0xA0))
            text += ' ';
        else
            text.append(utf8, i, length);
        i += length;
    }
    return text;
}
