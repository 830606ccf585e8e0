#include "tools/icon/LogoPicture.h"

#include "card/IconBmp.h"

#include <climits>
#include <cstdio>
#include <cstring>

namespace {

constexpr size_t kFileHeaderBytes = 14;
constexpr size_t kInfoHeaderBytes = 40;
constexpr size_t kCoreHeaderBytes = 12;
constexpr size_t kRowBytes = 32; // 32 pixels of one byte: already a multiple of 4
// Enough for the largest info header (124 bytes), a full palette and the
// pixels; a file that puts its pixels further away is not read.
constexpr size_t kMaxFileBytes = 8192;

uint16_t Get16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t Get32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// Up to size bytes of the file's start; the count read, or 0 when it cannot be opened.
size_t ReadStart(const std::string& fileName, uint8_t* out, size_t size) {
    std::FILE* file = std::fopen(fileName.c_str(), "rb");
    if (file == nullptr)
        return 0;
    const size_t got = std::fread(out, 1, size, file);
    std::fclose(file);
    return got;
}

bool ParseHeader(const uint8_t* file, size_t size, BmpHeaderInfo& info) {
    info = BmpHeaderInfo{};
    if (size < kFileHeaderBytes + 4 || file[0] != 'B' || file[1] != 'M')
        return false;
    info.pixelOffset = Get32(file + 10);
    info.headerSize = Get32(file + 14);
    const uint8_t* header = file + kFileHeaderBytes;
    if (info.headerSize == kCoreHeaderBytes && size >= kFileHeaderBytes + kCoreHeaderBytes) {
        // The old OS/2 header: 16-bit sizes, rows always bottom-up.
        info.width = Get16(header + 4);
        info.height = Get16(header + 6);
        info.bitsPerPixel = Get16(header + 10);
        return true;
    }
    if (info.headerSize < kInfoHeaderBytes || size < kFileHeaderBytes + kInfoHeaderBytes)
        return false;
    info.width = static_cast<int32_t>(Get32(header + 4));
    const auto height = static_cast<int32_t>(Get32(header + 8));
    info.topDown = height < 0;
    info.height = height == INT32_MIN ? 0 : height < 0 ? -height : height;
    info.bitsPerPixel = Get16(header + 14);
    info.compression = Get32(header + 16);
    info.coloursUsed = Get32(header + 32);
    return true;
}

} // namespace

bool ReadBmpHeader(const std::string& fileName, BmpHeaderInfo& info) {
    uint8_t start[kFileHeaderBytes + kInfoHeaderBytes];
    const size_t got = ReadStart(fileName, start, sizeof start);
    return ParseHeader(start, got, info);
}

bool IsLogoPicture(const BmpHeaderInfo& info) {
    return info.width == 32 && info.height == 32 && info.bitsPerPixel == 8 && info.compression == 0;
}

bool ReadLogoPicture(uint8_t* area, const std::string& fileName) {
    uint8_t file[kMaxFileBytes];
    const size_t size = ReadStart(fileName, file, sizeof file);
    BmpHeaderInfo info;
    if (!ParseHeader(file, size, info) || !IsLogoPicture(info) ||
        info.headerSize < kInfoHeaderBytes)
        return false;
    // ReadIconBmp takes the palette from right after a 40-byte header and the
    // rows bottom-up: only such files may go its way.
    if (!info.topDown && info.headerSize == kInfoHeaderBytes && ReadIconBmp(area, fileName))
        return true;

    const size_t paletteStart = kFileHeaderBytes + info.headerSize;
    const size_t pixelStart = info.pixelOffset;
    if (paletteStart > pixelStart || pixelStart + IconArea::kPixelBytes > size)
        return false;
    size_t colours = info.coloursUsed == 0 || info.coloursUsed > 256 ? 256 : info.coloursUsed;
    if (colours > (pixelStart - paletteStart) / 4)
        colours = (pixelStart - paletteStart) / 4;
    std::memset(area, 0, IconArea::kPixelStart);
    for (size_t i = 0; i < colours; ++i)
        std::memcpy(area + IconArea::PaletteOffset(static_cast<int>(i)),
                    file + paletteStart + 4 * i, 3);
    for (int row = 0; row < IconArea::kHeight; ++row) {
        // File row `row` is picture row `row` when stored top-down.
        const int y = info.topDown ? row : IconArea::kHeight - 1 - row;
        std::memcpy(area + IconArea::PixelOffset(y, 0),
                    file + pixelStart + static_cast<size_t>(row) * kRowBytes, kRowBytes);
    }
    return true;
}

std::string LogoPictureProblem(const std::string& fileName) {
    uint8_t file[kMaxFileBytes];
    const size_t size = ReadStart(fileName, file, sizeof file);
    if (size == 0)
        return "The file cannot be read.";
    BmpHeaderInfo info;
    if (size < 2 || file[0] != 'B' || file[1] != 'M')
        return "It is not a BMP picture.";
    if (!ParseHeader(file, size, info))
        return "Its header is cut short.";
    if (!IsLogoPicture(info)) {
        std::string text = "It is " + std::to_string(info.width) + " x " +
                           std::to_string(info.height) + " pixels, " +
                           std::to_string(info.bitsPerPixel) + " bits per pixel";
        // BI_RLE8, BI_RLE4; anything else is some other packing.
        if (info.compression == 1 || info.compression == 2)
            text += ", run-length compressed";
        else if (info.compression != 0)
            text += ", compressed";
        return text + ".";
    }
    if (info.headerSize < kInfoHeaderBytes)
        return "Its header is of the old OS/2 kind.";
    uint8_t area[IconArea::kSize];
    if (!ReadLogoPicture(area, fileName))
        return "Its palette or pixels are cut short.";
    return "";
}

std::string LogoPictureRefusal(const std::string& fileName) {
    const std::string problem = LogoPictureProblem(fileName);
    return problem.empty() ? std::string(kLogoPictureWarning)
                           : std::string(kLogoPictureWarning) + "\n" + problem;
}

void ApplyLcdColours(uint8_t* area, const bool (&dark)[16]) {
    for (int k = 0; k < 16; ++k)
        std::memset(area + IconArea::PaletteOffset(k), dark[k] ? 0 : 255, 3);
}

void ChooseDarkColours(const uint8_t* area, bool (&dark)[16]) {
    for (int k = 0; k < 16; ++k) {
        const uint8_t* entry = area + IconArea::PaletteOffset(k);
        const int blue = entry[0];
        const int green = entry[1];
        const int red = entry[2];
        dark[k] = 299 * red + 587 * green + 114 * blue < 128 * 1000;
    }
}
