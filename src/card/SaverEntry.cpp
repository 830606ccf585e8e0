#include "card/SaverEntry.h"

#include <algorithm>

void SaverEntry::Clear() {
    ClearDecoded();
    std::fill(std::begin(Raw), std::end(Raw), uint8_t{0});
}

void SaverEntry::ClearDecoded() {
    IconCount = 0;
    CurrentFrame = 0;
    FirstBlock = 0;
    SizeBlocks = 0;
    Name.clear();
    Date.clear();
    Time.clear();
    Description.clear();
    DescriptionText.clear();
    std::fill(std::begin(FrameImages), std::end(FrameImages), uint8_t{0});
    IsGame = false;
}

std::string SaverEntry::TrimmedName() const {
    std::string name(reinterpret_cast<const char*>(Raw + kNameOffset), kNameLength);
    while (!name.empty() && (name.back() == ' ' || name.back() == '\0'))
        name.pop_back();
    return name;
}

std::string HexByte(uint8_t x) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    return std::string{kDigits[x >> 4], kDigits[x & 0x0F]};
}

std::string CleanText(const uint8_t* bytes, int count) {
    std::string text(static_cast<size_t>(count), ' ');
    for (int i = 0; i < count; ++i) {
        const uint8_t c = bytes[i];
        if (c >= 0x1F && c < 0x7F)
            text[static_cast<size_t>(i)] = static_cast<char>(c);
    }
    return text;
}
