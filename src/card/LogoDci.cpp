#include "card/CardVolume.h"

#include "base/SafeFile.h"
#include "card/IconBmp.h"

#include <cstdio>
#include <cstring>

namespace {

void Put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

uint8_t PixelOf(const uint8_t* area, int y, int x) {
    return static_cast<uint8_t>(area[IconArea::PixelOffset(y, x)] & 0x0F);
}

} // namespace

bool BuildLogoDci(const uint8_t* picture, const uint8_t* lcd, const std::string& caption,
                  const std::string& fileName) {
    uint8_t file[LogoDci::kFileBytes] = {};

    // The directory entry, natural order.
    uint8_t* entry = file;
    entry[SaverEntry::kTypeOffset] = SaverEntry::kTypeData;
    entry[SaverEntry::kFirstBlockOffset] = LogoDci::kEntryFirstBlock;
    std::memcpy(entry + SaverEntry::kNameOffset, SaverEntry::kLogoName, SaverEntry::kNameLength);
    constexpr uint8_t kStamp[SaverEntry::kStampLength] = {0x19, 0x98, 0x12, 0x12, 0, 0, 0, 0x05};
    std::memcpy(entry + SaverEntry::kStampOffset, kStamp, sizeof kStamp);
    entry[SaverEntry::kSizeOffset] = LogoDci::kSizeBlocks;

    // The two saver blocks, built in natural order and swapped at the end.
    uint8_t* saver = file + SaverEntry::kSize;
    const std::string caption32 = (caption + std::string(32, ' ')).substr(0, 32);
    std::memcpy(saver, caption32.data(), LogoDci::kCaptionLength);
    Put32(saver + 0x10, LogoDci::kMonoOffset);
    Put32(saver + 0x14, LogoDci::kPaletteOffset);

    for (int y = 0; y < IconArea::kHeight; ++y) {
        for (int x = 0; x < IconArea::kWidth; ++x) {
            const uint8_t* colour = lcd + IconArea::PaletteOffset(PixelOf(lcd, y, x));
            if (colour[0] == 0 && colour[1] == 0 && colour[2] == 0)
                saver[LogoDci::kMonoOffset + 4 * y + x / 8] |=
                    static_cast<uint8_t>(0x80 >> (x % 8));
        }
    }
    for (int i = 0; i < 16; ++i) {
        const uint8_t* colour = picture + IconArea::PaletteOffset(i);
        const int word = 0xF000 + (colour[2] / 16) * 256 + (colour[1] / 16) * 16 + colour[0] / 16;
        saver[LogoDci::kPaletteOffset + 2 * i] = static_cast<uint8_t>(word & 0xFF);
        saver[LogoDci::kPaletteOffset + 2 * i + 1] = static_cast<uint8_t>(word >> 8);
    }
    for (int y = 0; y < IconArea::kHeight; ++y) {
        for (int q = 0; q < 16; ++q) {
            saver[LogoDci::kColourOffset + 16 * y + q] = static_cast<uint8_t>(
                (PixelOf(picture, y, 2 * q) << 4) | PixelOf(picture, y, 2 * q + 1));
        }
    }
    std::memset(saver + LogoDci::kFillerOffset, LogoDci::kFiller,
                LogoDci::kSaverBytes - LogoDci::kFillerOffset);
    SwapWords(saver, LogoDci::kSaverBytes);

    std::FILE* out = OpenStreamForWriting(fileName);
    if (out == nullptr)
        return false;
    const bool written = std::fwrite(file, 1, sizeof file, out) == sizeof file;
    return std::fclose(out) == 0 && written;
}
