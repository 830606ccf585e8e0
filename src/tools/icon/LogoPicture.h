#pragma once

#include <cstdint>
#include <string>

// The pictures a caption logo is made from: 32 x 32 BMP files with one byte per
// pixel, read into an IconArea (card/IconBmp.h).

inline constexpr const char* kLogoPictureWarning =
    "BMP file must be in 32 x 32 pixel, 256 of 16 palette color, 8bit Pixelformat.";

// What a BMP file's own headers say. Picture readers of the toolkits report
// some depths rounded up (4 bits as 8), so the check reads the file itself.
struct BmpHeaderInfo {
    int width = 0;
    int height = 0;       // rows, whatever their order
    bool topDown = false; // rows stored top row first (negative height)
    int bitsPerPixel = 0;
    uint32_t compression = 0;
    uint32_t pixelOffset = 0;
    uint32_t headerSize = 0;
    uint32_t coloursUsed = 0;
};

// Reads the file and info headers. False when the file cannot be read, does
// not start with "BM" or its header is too short to say size and depth.
bool ReadBmpHeader(const std::string& fileName, BmpHeaderInfo& info);

// 32 x 32 pixels, 8 bits per pixel, uncompressed.
bool IsLogoPicture(const BmpHeaderInfo& info);

// Reads a logo picture into an IconArea. Files in the program's own layout go
// through ReadIconBmp; other layouts of the same kind of picture (a palette of
// fewer than 256 colours, rows stored top-down) are read here, missing palette
// entries becoming black. False, with the area unchanged, when the file is not
// a logo picture or cannot be read in full.
bool ReadLogoPicture(uint8_t* area, const std::string& fileName);

// What keeps a file from being a logo picture, in one or two short sentences
// for the user ("It is 33 x 32 pixels, 4 bits per pixel."); empty when
// ReadLogoPicture takes it. Said after kLogoPictureWarning, by the windows
// and the command line alike.
std::string LogoPictureProblem(const std::string& fileName);

// The warning for a refused picture: the designed text, then the problem.
std::string LogoPictureRefusal(const std::string& fileName);

// Palette entries 0 to 15 of the area become black where dark[k] is set and
// white elsewhere: the LCD shows exactly the pixels whose index modulo 16
// names a dark colour. Entries 16 to 255 keep their colours.
void ApplyLcdColours(uint8_t* area, const bool (&dark)[16]);

// The automatic choice of the LCD's dark colours: palette entries 0 to 15
// whose luminance (0.299 red + 0.587 green + 0.114 blue) is below the middle
// of the range, 128.
void ChooseDarkColours(const uint8_t* area, bool (&dark)[16]);
