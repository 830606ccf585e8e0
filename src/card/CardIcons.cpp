#include "card/CardVolume.h"
#include "card/IconBmp.h"

uint8_t CardVolume::HeaderBlock(const SaverEntry& entry) {
    uint8_t block = entry.FirstBlock;
    // A chain that does not start must not go on from an earlier walk's cursor.
    if (!StartChain(block))
        tables_.SetChainNext(kChainEnd);
    if (entry.IsGame)
        (void)NextInChain(block);
    return block;
}

void CardVolume::ReadPalette(int index) {
    if (index < 0 || index >= kEntryCount)
        return;
    uint8_t header[kBlockSize];
    // A failed read is reported by the block store; the palette then keeps
    // the colours it had rather than taking unread bytes.
    if (!ReadNatural(HeaderBlock(Entries()[index]), header))
        return;
    uint8_t* area = Icon();
    for (int k = 0; k < 16; ++k) {
        const int w = header[SaverEntry::kHeaderPalette + 2 * k] +
                      256 * header[SaverEntry::kHeaderPalette + 2 * k + 1];
        area[IconArea::PaletteOffset(k)] = static_cast<uint8_t>((w & 0x000F) * 16);
        area[IconArea::PaletteOffset(k) + 1] = static_cast<uint8_t>(w & 0x00F0);
        area[IconArea::PaletteOffset(k) + 2] = static_cast<uint8_t>(((w & 0x0F00) / 256) * 16);
    }
}

namespace {

// Rows first..last of a frame from 16-byte rows of two pixels per byte.
void UnpackRows(const uint8_t* rows, int first, int last, uint8_t* area) {
    for (int y = first; y <= last; ++y) {
        for (int q = 0; q < 16; ++q) {
            const uint8_t two = rows[16 * (y - first) + q];
            area[IconArea::PixelOffset(y, 2 * q)] = static_cast<uint8_t>(two >> 4);
            area[IconArea::PixelOffset(y, 2 * q + 1)] = static_cast<uint8_t>(two & 0x0F);
        }
    }
}

} // namespace

bool CardVolume::ExtractIcon(uint8_t index, uint16_t frame, const std::string& fileName) {
    if (index >= kEntryCount)
        return false;
    const SaverEntry& entry = Entries()[index];
    // The views keep at most kMaxFrames frames per saver.
    if (entry.IconCount == 0 || frame >= entry.IconCount || entry.SizeBlocks == 0 ||
        frame >= SaverEntry::kMaxFrames)
        return false;
    ReadPalette(index);

    uint8_t block = HeaderBlock(entry);
    for (uint16_t k = 0; k < frame; ++k)
        (void)NextInChain(block);

    // A frame straddles two blocks: rows 0..23 at 0x80 of one, 24..31 at the
    // start of the next. Read failures are the block store's to report.
    uint8_t data[kBlockSize] = {};
    if (ReadRawBlock(Device(), block, data))
        SwapWords(data);
    UnpackRows(data + SaverEntry::kHeaderFirstFrame, 0, 23, Icon());
    (void)NextInChain(block);
    if (ReadRawBlock(Device(), block, data))
        SwapWords(data);
    UnpackRows(data, 24, 31, Icon());

    return WriteIconBmp(Icon(), fileName);
}
