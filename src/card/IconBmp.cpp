#include "card/IconBmp.h"

#include "base/SafeFile.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr size_t kHeaderBytes = 54;
constexpr size_t kPaletteFileBytes = 4 * IconArea::kPaletteEntries;

void Put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v & 0xFF);
    p[1] = static_cast<uint8_t>(v >> 8);
}

void Put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

uint16_t Get16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t Get32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

} // namespace

bool WriteIconBmp(const uint8_t* area, const std::string& fileName) {
    uint8_t file[IconBmpFormat::kFileSize] = {};
    file[0] = 'B';
    file[1] = 'M';
    Put32(file + 2, IconBmpFormat::kFileSize);
    Put32(file + 10, IconBmpFormat::kPixelOffset);
    Put32(file + 14, IconBmpFormat::kHeaderSize);
    Put32(file + 18, IconArea::kWidth);
    Put32(file + 22, IconArea::kHeight);
    Put16(file + 26, 1);
    Put16(file + 28, 8);
    Put32(file + 34, IconBmpFormat::kPixelBytes);
    for (int i = 0; i < IconArea::kPaletteEntries; ++i)
        std::memcpy(file + kHeaderBytes + 4 * i, area + IconArea::PaletteOffset(i), 3);
    std::memcpy(file + IconBmpFormat::kPixelOffset, area + IconArea::kPixelStart,
                IconArea::kPixelBytes);

    std::FILE* out = OpenStreamForWriting(fileName);
    if (out == nullptr)
        return false;
    const bool written = std::fwrite(file, 1, sizeof file, out) == sizeof file;
    return std::fclose(out) == 0 && written;
}

bool ReadIconBmp(uint8_t* area, const std::string& fileName) {
    std::FILE* in = std::fopen(fileName.c_str(), "rb");
    if (in == nullptr)
        return false;
    // Everything is read before the area is touched, so a short file changes nothing.
    uint8_t file[kHeaderBytes + kPaletteFileBytes + IconArea::kPixelBytes];
    const size_t got = std::fread(file, 1, sizeof file, in);
    std::fclose(in);
    if (got < 2 || file[0] != 'B' || file[1] != 'M')
        return false;
    if (got < kHeaderBytes)
        return false;
    // Width, height, header size and compression are not tested.
    if (Get32(file + 10) != IconBmpFormat::kPixelOffset || Get16(file + 26) != 1 ||
        Get16(file + 28) != 8 || Get32(file + 34) != IconBmpFormat::kPixelBytes)
        return false;
    if (got < sizeof file)
        return false;
    for (int i = 0; i < IconArea::kPaletteEntries; ++i)
        std::memcpy(area + IconArea::PaletteOffset(i), file + kHeaderBytes + 4 * i, 3);
    std::memcpy(area + IconArea::kPixelStart, file + kHeaderBytes + kPaletteFileBytes,
                IconArea::kPixelBytes);
    return true;
}
