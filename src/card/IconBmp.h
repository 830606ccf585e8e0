#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Layout of a 32 x 32 picture in memory: 256 palette entries of blue, green,
// red, then 1024 pixel bytes (palette indices), bottom row first as in a
// bitmap file. Any buffer of at least kSize bytes can hold one.
struct IconArea {
    static constexpr int kWidth = 32;
    static constexpr int kHeight = 32;
    static constexpr int kPaletteEntries = 256;
    static constexpr size_t kPixelStart = 768;
    static constexpr size_t kPixelBytes = 1024;
    static constexpr size_t kSize = 1792;

    // Bytes of palette entry i: blue, green, red at this offset and the two after.
    static constexpr size_t PaletteOffset(int i) { return 3 * static_cast<size_t>(i); }
    // Pixel at picture row y (0 = top) and column x (0 = left).
    static constexpr size_t PixelOffset(int y, int x) {
        return kPixelStart + static_cast<size_t>((31 - y) * 32 + x);
    }
};

// The 32 x 32, 8-bit bitmap file the program writes and reads.
struct IconBmpFormat {
    static constexpr uint32_t kFileSize = 2102;
    static constexpr uint32_t kPixelOffset = 1078;
    static constexpr uint32_t kHeaderSize = 40;
    static constexpr uint32_t kPixelBytes = 1024;
};

// Writes the area as a bitmap file; false when the file could not be written.
bool WriteIconBmp(const uint8_t* area, const std::string& fileName);

// Reads a bitmap file of the program's form into the area. True when the area
// was filled; a file that cannot be opened, is too short, is not "BM" or fails
// the pixel offset, plane, depth or pixel-size tests leaves it unchanged.
bool ReadIconBmp(uint8_t* area, const std::string& fileName);

// The caption-logo saver written by BuildLogoDci.
struct LogoDci {
    static constexpr int kEntryFirstBlock = 199;
    static constexpr int kSizeBlocks = 2;
    static constexpr int kSaverBytes = 1024;
    static constexpr int kFileBytes = 32 + 1024;
    static constexpr int kCaptionLength = 16;
    static constexpr int kMonoOffset = 0x20;
    static constexpr int kPaletteOffset = 0xA0;
    static constexpr int kColourOffset = 0xC0;
    static constexpr int kFillerOffset = 0x2C0;
    static constexpr uint8_t kFiller = 0x1A;
};

// Writes the caption logo "ICONDATA_VMS" as a single-saver file: colours and
// pixels from picture, the LCD's dark pixels from lcd (both IconArea layout).
// False when the file could not be written.
bool BuildLogoDci(const uint8_t* picture, const uint8_t* lcd, const std::string& caption,
                  const std::string& fileName);
