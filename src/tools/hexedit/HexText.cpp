#include "tools/hexedit/HexText.h"

#include <algorithm>
#include <array>
#include <limits>

namespace {

constexpr char kDigits[] = "0123456789ABCDEF";

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::string_view Trimmed(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

} // namespace

std::string ToHexText(std::span<const uint8_t> bytes, bool swapNibbles) {
    std::string text(bytes.size() * 2, '0');
    for (size_t i = 0; i < bytes.size(); ++i) {
        const char high = kDigits[bytes[i] >> 4];
        const char low = kDigits[bytes[i] & 0x0F];
        text[2 * i] = swapNibbles ? low : high;
        text[2 * i + 1] = swapNibbles ? high : low;
    }
    return text;
}

std::vector<uint8_t> FromHexText(std::string_view text, bool swapNibbles) {
    std::vector<uint8_t> bytes;
    bytes.reserve(text.size() / 2);
    int first = -1;
    for (char c : text) {
        const int value = HexValue(c);
        if (value < 0)
            continue;
        if (first < 0) {
            first = value;
            continue;
        }
        const int byte = swapNibbles ? (value << 4) | first : (first << 4) | value;
        bytes.push_back(static_cast<uint8_t>(byte));
        first = -1;
    }
    return bytes;
}

int64_t ParseGotoPosition(std::string_view text) {
    text = Trimmed(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    } else if (!text.empty() && text.front() == '$') {
        base = 16;
        text.remove_prefix(1);
    }
    if (text.empty())
        return -1;
    int64_t value = 0;
    for (char c : text) {
        const int digit = HexValue(c);
        if (digit < 0 || digit >= base)
            return -1;
        if (value > (std::numeric_limits<int64_t>::max() - digit) / base)
            return -1;
        value = value * base + digit;
    }
    // A negative position is never inside the data.
    return negative && value != 0 ? -1 : value;
}

std::optional<FindRequest> ParseFindText(std::string_view utf8) {
    FindRequest request;
    if (!utf8.empty() && (utf8.front() == 't' || utf8.front() == 'T')) {
        request.textMode = true;
        request.ignoreCase = utf8.front() == 'T';
        request.bytes.assign(utf8.begin() + 1, utf8.end());
        if (request.bytes.empty())
            return std::nullopt;
        return request;
    }
    std::string digits;
    for (char c : utf8)
        if (HexValue(c) >= 0)
            digits += c;
    if (digits.size() % 2 != 0)
        digits.insert(digits.begin(), '0');
    request.bytes = FromHexText(digits, false);
    if (request.bytes.empty())
        return std::nullopt;
    return request;
}

int64_t FindBytes(std::span<const uint8_t> data, std::span<const uint8_t> pattern, bool ignoreCase,
                  Translation translation, int64_t from) {
    const auto size = static_cast<int64_t>(data.size());
    const auto length = static_cast<int64_t>(pattern.size());
    if (length == 0 || from < 0 || from > size - length)
        return -1;
    const auto start = data.begin() + from;
    if (!ignoreCase) {
        const auto it = std::search(start, data.end(), pattern.begin(), pattern.end());
        return it == data.end() ? -1 : it - data.begin();
    }
    std::array<uint8_t, 256> fold{};
    for (size_t b = 0; b < fold.size(); ++b)
        fold[b] = FoldCase(translation, static_cast<uint8_t>(b));
    const auto same = [&fold](uint8_t a, uint8_t b) { return fold[a] == fold[b]; };
    const auto it = std::search(start, data.end(), pattern.begin(), pattern.end(), same);
    return it == data.end() ? -1 : it - data.begin();
}
