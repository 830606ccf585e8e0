#pragma once

#include <cstdint>
#include <string>

// One directory slot of a card: the 32 raw bytes as they stand on the card (in
// natural order) and the fields decoded from them for the views. Only Raw is
// ever written back.
struct SaverEntry {
    // Layout of the 32-byte on-card entry.
    static constexpr int kSize = 32;
    static constexpr int kTypeOffset = 0;
    static constexpr int kFirstBlockOffset = 2; // uint16, only the low byte is used
    static constexpr int kNameOffset = 4;
    static constexpr int kNameLength = 12;
    static constexpr int kStampOffset = 16; // 8 BCD bytes
    static constexpr int kStampLength = 8;
    static constexpr int kSizeOffset = 24; // uint16, only the low byte is used
    static constexpr uint8_t kTypeGame = 0xCC;
    static constexpr uint8_t kTypeData = 0x33;

    // Header block of a saver: description, icon count and the byte that
    // tells a real icon count from foreign data.
    static constexpr int kDescriptionLength = 48;
    static constexpr int kHeaderIconCount = 0x40;
    static constexpr int kHeaderIconCheck = 0x41;
    static constexpr int kHeaderPalette = 0x60;
    static constexpr int kHeaderFirstFrame = 0x80;

    // The views keep one image index per frame; frames beyond this are not shown.
    static constexpr int kMaxFrames = 32;

    static constexpr const char* kLogoName = "ICONDATA_VMS";
    static constexpr const char* kLogoDescription = "VMU CAPTION LOGO";
    static constexpr const char* kUnknownDescription = "UNKNOWN FILE SAVER";

    uint16_t IconCount = 0;
    uint16_t CurrentFrame = 0;
    uint8_t FirstBlock = 0;
    uint16_t SizeBlocks = 0; // 0 = the slot is empty
    std::string Name;
    std::string Date;
    std::string Time;
    std::string Description;
    // The description's bytes decoded as Shift-JIS (UTF-8, see ShiftJis.h);
    // the fixed texts above as they are.
    std::string DescriptionText;
    uint8_t FrameImages[kMaxFrames] = {};
    bool IsGame = false;
    uint8_t Raw[kSize] = {};

    // Numbers 0, texts empty, flags false, Raw zero.
    void Clear();
    // The decoded fields back to their cleared state; Raw stays.
    void ClearDecoded();
    // Frames the views may show: IconCount, but never more than kMaxFrames.
    uint16_t ShownFrames() const { return IconCount < kMaxFrames ? IconCount : kMaxFrames; }
    // Whether the raw entry describes a saver (a game may start at block 0).
    bool RawInUse() const { return Raw[kFirstBlockOffset] != 0 || Raw[kTypeOffset] == kTypeGame; }
    // The one test for a game, on a card and in a single-saver file alike:
    // type 0xCC with byte 3 (the high byte of the first block) zero. A game
    // always starts at block 0, whatever byte 2 says.
    static bool IsGameRaw(const uint8_t* raw) {
        return raw[kTypeOffset] == kTypeGame && raw[kFirstBlockOffset + 1] == 0;
    }
    // The 12 name characters without trailing blanks and NULs.
    std::string TrimmedName() const;
};

// x as two upper-case hexadecimal digits; BCD bytes thus show their digits.
std::string HexByte(uint8_t x);

// Each byte one character; bytes below 0x1F and from 0x7F up become blanks.
std::string CleanText(const uint8_t* bytes, int count);
