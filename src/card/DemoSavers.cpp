#include "card/DemoSavers.h"

#include "base/SafeFile.h"

#include "card/CardVolume.h"
#include "card/IconBmp.h"
#include "card/SaverEntry.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

constexpr int kBlock = CardVolume::kBlockSize;
constexpr int kMaxBlocks = kDemoDataBlocks;
constexpr double kPi = 3.14159265358979323846;

// A 16-colour picture, one palette index per pixel, top row first.
struct Frame {
    uint8_t pixel[32][32] = {};
};

// The 32-byte entry and the saver's bytes in natural order, chain order.
struct SaverImage {
    uint8_t entry[SaverEntry::kSize] = {};
    uint8_t bytes[kMaxBlocks * kBlock] = {};
    int blocks = 0;
};

void SetEntry(SaverImage& saver, uint8_t type, const char* name, const uint8_t (&stamp)[8]) {
    saver.entry[SaverEntry::kTypeOffset] = type;
    std::memcpy(saver.entry + SaverEntry::kNameOffset, name, SaverEntry::kNameLength);
    std::memcpy(saver.entry + SaverEntry::kStampOffset, stamp, sizeof stamp);
    saver.entry[SaverEntry::kSizeOffset] = static_cast<uint8_t>(saver.blocks);
}

// Description (16 characters for the unit's own menu, 32 for the console's),
// icon count, animation speed and palette at the start of a header.
void SetHeader(uint8_t* header, const char* menuText, const char* consoleText, const char* creator,
               int frames, const uint16_t (&palette)[16]) {
    std::memset(header, ' ', SaverEntry::kDescriptionLength);
    std::memcpy(header, menuText, std::min<size_t>(std::strlen(menuText), 16));
    std::memcpy(header + 16, consoleText, std::min<size_t>(std::strlen(consoleText), 32));
    std::memcpy(header + 0x30, creator, std::min<size_t>(std::strlen(creator), 16));
    header[SaverEntry::kHeaderIconCount] = static_cast<uint8_t>(frames);
    header[0x42] = 10; // animation speed
    for (int i = 0; i < 16; ++i) {
        header[SaverEntry::kHeaderPalette + 2 * i] = static_cast<uint8_t>(palette[i] & 0xFF);
        header[SaverEntry::kHeaderPalette + 2 * i + 1] = static_cast<uint8_t>(palette[i] >> 8);
    }
}

// Frames follow each other from header offset 0x80, two pixels a byte.
void PutFrame(uint8_t* header, int index, const Frame& frame) {
    uint8_t* out = header + SaverEntry::kHeaderFirstFrame + kBlock * index;
    for (int y = 0; y < 32; ++y) {
        for (int q = 0; q < 16; ++q)
            out[16 * y + q] =
                static_cast<uint8_t>((frame.pixel[y][2 * q] << 4) | frame.pixel[y][2 * q + 1]);
    }
}

bool WriteDci(const SaverImage& saver, const std::string& path) {
    uint8_t file[SaverEntry::kSize + sizeof saver.bytes];
    std::memcpy(file, saver.entry, SaverEntry::kSize);
    const size_t length = static_cast<size_t>(saver.blocks) * kBlock;
    std::memcpy(file + SaverEntry::kSize, saver.bytes, length);
    SwapWords(file + SaverEntry::kSize, length);
    std::FILE* out = OpenStreamForWriting(path);
    if (out == nullptr)
        return false;
    const bool written =
        std::fwrite(file, 1, SaverEntry::kSize + length, out) == SaverEntry::kSize + length;
    return std::fclose(out) == 0 && written;
}

// 0xF000 + red, green, blue of 4 bits each.
constexpr uint16_t Colour(int r, int g, int b) {
    return static_cast<uint16_t>(0xF000 | (r << 8) | (g << 4) | b);
}

// --- The data saver: a pinwheel of four blades; a frame turns it by 30
// degrees, so three frames make a quarter turn and the loop has no seam. ---

Frame DrawPinwheel(int step) {
    Frame frame;
    const double turn = step * kPi / 6;
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            const double dx = x - 15.5;
            const double dy = y - 15.5;
            const double r = std::sqrt(dx * dx + dy * dy);
            double a = std::atan2(dy, dx) - turn;
            while (a < 0)
                a += 2 * kPi;
            const double within = std::fmod(a, kPi / 2);
            uint8_t colour = 0; // background
            if (r < 3)
                colour = 5; // hub
            else if (r < 15 && within < kPi / 4.5 * r / 14)
                colour = r < 9 ? 2 : 1; // all blades alike, or the loop would jump
            else if (r < 15.5 && r >= 14.5)
                colour = 6; // rim
            frame.pixel[y][x] = colour;
        }
    }
    return frame;
}

SaverImage DataSaver() {
    SaverImage saver;
    saver.blocks = kDemoDataBlocks;
    const uint8_t stamp[8] = {0x20, 0x24, 0x05, 0x17, 0x10, 0x30, 0x00, 0x04};
    SetEntry(saver, SaverEntry::kTypeData, kDemoDataName, stamp);
    const uint16_t palette[16] = {
        Colour(0, 0, 4),  Colour(15, 3, 3),   Colour(15, 12, 0), Colour(2, 12, 3),
        Colour(2, 7, 15), Colour(15, 15, 15), Colour(6, 6, 10),  Colour(0, 0, 0),
        Colour(0, 0, 0),  Colour(0, 0, 0),    Colour(0, 0, 0),   Colour(0, 0, 0),
        Colour(0, 0, 0),  Colour(0, 0, 0),    Colour(0, 0, 0),   Colour(0, 0, 0)};
    uint8_t* header = saver.bytes;
    SetHeader(header, "Porvane demo", "A pinwheel that turns, 3 frames", "PORVANE", 3, palette);
    for (int f = 0; f < kDemoDataFrames; ++f)
        PutFrame(header, f, DrawPinwheel(f));
    // The save data itself, after the last frame.
    const char data[] = "PORVANE DEMO SAVE\r\nBEST  00120\r\nLAST  00085\r\nPLAYS 00007\r\n";
    std::memcpy(header + SaverEntry::kHeaderFirstFrame + kBlock * kDemoDataFrames, data,
                sizeof data - 1);
    return saver;
}

// --- The game: a program in block 0, its header in block 1. ---

// 86K code of block 0: the reset vector jumps over the interrupt vectors,
// each of which returns at once, to a loop that counts in ACC and spends a
// little time in a DBNZ wait between counts.
constexpr uint8_t kResetJump[] = {0x21, 0x00, 0x54}; // JMPF $0054
constexpr uint8_t kInterruptVectors[] = {0x03, 0x0B, 0x13, 0x1B, 0x23,
                                         0x2B, 0x33, 0x3B, 0x43, 0x4B};
constexpr uint8_t kReti = 0xB0;
constexpr int kMainStart = 0x54;
constexpr uint8_t kMain[] = {
    0x23, 0x06, 0x7F, // $0054 MOV #7FH,SP
    0x23, 0x00, 0x00, // $0057 MOV #00H,ACC
    0x81, 0x01,       // $005A ADD #01H
    0x22, 0x10, 0x20, // $005C MOV #20H,fx10
    0x52, 0x10, 0xFD, // $005F DBNZ fx10,$005F
    0x31, 0x10, 0x02, // $0062 BE #10H,$0067
    0x01, 0xF3,       // $0065 BR $005A
    0x01, 0xEE,       // $0067 BR $0057
};

// A chip with its pins: the 86K processor the program runs on.
Frame DrawChip() {
    Frame frame;
    static const char* const kText[5] = {"XXX.XXX.X..X", "X.X.X...X.X.", "XXX.XXX.XX..",
                                         "X.X.X.X.X.X.", "XXX.XXX.X..X"};
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            uint8_t colour = 0;
            const bool body = x >= 6 && x <= 25 && y >= 6 && y <= 25;
            const bool pinRow = (x >= 8 && x <= 23 && (x - 8) % 3 != 2);
            const bool pinCol = (y >= 8 && y <= 23 && (y - 8) % 3 != 2);
            if (body)
                colour = (x == 6 || x == 25 || y == 6 || y == 25) ? 2 : 1;
            else if ((pinRow && (y >= 2 && y <= 5)) || (pinRow && (y >= 26 && y <= 29)) ||
                     (pinCol && (x >= 2 && x <= 5)) || (pinCol && (x >= 26 && x <= 29)))
                colour = 3;
            frame.pixel[y][x] = colour;
        }
    }
    for (int r = 0; r < 5; ++r) {
        for (int c = 0; c < 12; ++c) {
            if (kText[r][c] == 'X')
                frame.pixel[13 + r][10 + c] = 4;
        }
    }
    frame.pixel[9][9] = 4; // pin-one mark
    return frame;
}

SaverImage GameSaver() {
    SaverImage saver;
    saver.blocks = kDemoGameBlocks;
    const uint8_t stamp[8] = {0x20, 0x24, 0x05, 0x16, 0x09, 0x15, 0x00, 0x03};
    // A game starts at block 0: bytes 2 and 3 of its entry stay 0.
    SetEntry(saver, SaverEntry::kTypeGame, kDemoGameName, stamp);

    uint8_t* code = saver.bytes;
    std::memcpy(code, kResetJump, sizeof kResetJump);
    for (const uint8_t at : kInterruptVectors)
        code[at] = kReti;
    std::memcpy(code + kMainStart, kMain, sizeof kMain);

    const uint16_t palette[16] = {
        Colour(1, 3, 6),    Colour(3, 3, 3), Colour(8, 8, 8), Colour(14, 11, 3),
        Colour(15, 15, 15), Colour(0, 0, 0), Colour(0, 0, 0), Colour(0, 0, 0),
        Colour(0, 0, 0),    Colour(0, 0, 0), Colour(0, 0, 0), Colour(0, 0, 0),
        Colour(0, 0, 0),    Colour(0, 0, 0), Colour(0, 0, 0), Colour(0, 0, 0)};
    uint8_t* header = saver.bytes + kBlock;
    SetHeader(header, "Mini 86K program", "Counts in ACC; try the code view", "PORVANE", 1,
              palette);
    PutFrame(header, 0, DrawChip());
    return saver;
}

// --- The caption logo: a memory unit with a "P" on its screen. ---

void SetPalette(uint8_t* area, int index, uint8_t red, uint8_t green, uint8_t blue) {
    uint8_t* at = area + IconArea::PaletteOffset(index);
    at[0] = blue;
    at[1] = green;
    at[2] = red;
}

void DrawLogo(uint8_t* area) {
    std::memset(area, 0, IconArea::kSize);
    static const char* const kLetterP[9] = {"XXXXX.", "XX..XX", "XX..XX", "XX..XX", "XXXXX.",
                                            "XX....", "XX....", "XX....", "XX...."};
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            uint8_t colour = 0; // background
            if (x >= 5 && x <= 26 && y >= 1 && y <= 30) {
                const bool edge = x == 5 || x == 26 || y == 1 || y == 30;
                colour = edge ? 1 : 2; // outline, body
                if (x >= 9 && x <= 22 && y >= 5 && y <= 18)
                    colour = 3; // screen
            }
            if (colour == 2 && y >= 23 && y <= 26 && ((x >= 9 && x <= 12) || x >= 19))
                colour = 1; // keys
            area[IconArea::PixelOffset(y, x)] = colour;
        }
    }
    for (int r = 0; r < 9; ++r) {
        for (int c = 0; c < 6; ++c) {
            if (kLetterP[r][c] == 'X')
                area[IconArea::PixelOffset(7 + r, 13 + c)] = 1;
        }
    }
}

} // namespace

bool WriteDemoDataDci(const std::string& path) {
    return WriteDci(DataSaver(), path);
}

bool WriteDemoGameDci(const std::string& path) {
    return WriteDci(GameSaver(), path);
}

bool WriteDemoLogoDci(const std::string& path) {
    uint8_t picture[IconArea::kSize];
    DrawLogo(picture);
    SetPalette(picture, 0, 0xF0, 0xF0, 0xF0);
    SetPalette(picture, 1, 0x20, 0x20, 0x40);
    SetPalette(picture, 2, 0x60, 0xB0, 0xE0);
    SetPalette(picture, 3, 0x90, 0xC0, 0x80);
    // On the unit's screen the outline and the letter are dark, the rest
    // is lit.
    uint8_t lcd[IconArea::kSize];
    std::memcpy(lcd, picture, sizeof lcd);
    SetPalette(lcd, 0, 0xFF, 0xFF, 0xFF);
    SetPalette(lcd, 1, 0, 0, 0);
    SetPalette(lcd, 2, 0xFF, 0xFF, 0xFF);
    SetPalette(lcd, 3, 0xFF, 0xFF, 0xFF);
    return BuildLogoDci(picture, lcd, kDemoLogoCaption, path);
}
