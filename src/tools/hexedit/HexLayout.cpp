#include "tools/hexedit/HexLayout.h"

#include <algorithm>
#include <cmath>

namespace {

int Sanitised(int value, std::initializer_list<int> allowed, int fallback) {
    return std::find(allowed.begin(), allowed.end(), value) != allowed.end() ? value : fallback;
}

int DigitsOf(int64_t value, int base) {
    int digits = 1;
    while (value >= base) {
        value /= base;
        ++digits;
    }
    return digits;
}

} // namespace

HexLayout::HexLayout(const HexOptions& options, int64_t dataSize)
    : bytesPerLine_(Sanitised(options.BytesPerLine, {16, 32, 64}, 16)),
      bytesPerColumn_(Sanitised(options.BytesPerColumn, {1, 2, 4}, 1)),
      offsetDisplay_(std::clamp(options.OffsetDisplay, 0, 3)), separator_(options.OffsetSeparator),
      markerCells_(options.ShowMarkerColumn ? 2 : 0) {
    dataSize = std::max<int64_t>(dataSize, 0);
    lineCount_ = dataSize / bytesPerLine_ + 1;
    if (offsetDisplay_ != 3) {
        static constexpr int kBases[] = {16, 10, 8};
        // Wide enough for the offset of the last line, never fewer than six.
        offsetDigits_ =
            std::max(6, DigitsOf((lineCount_ - 1) * bytesPerLine_, kBases[offsetDisplay_]));
        offsetWidth_ = offsetDigits_ + (separator_ ? 1 : 0);
    }
    hexStart_ = markerCells_ + (offsetWidth_ ? offsetWidth_ + 1 : 0);
    hexEnd_ = HexCell(bytesPerLine_ - 1, 1) + 1;
    charStart_ = hexEnd_ + 2;
}

std::string HexLayout::OffsetText(int64_t offset) const {
    if (offsetDisplay_ == 3)
        return {};
    static constexpr int kBases[] = {16, 10, 8};
    const int base = kBases[offsetDisplay_];
    std::string text(static_cast<size_t>(offsetDigits_), '0');
    offset = std::max<int64_t>(offset, 0);
    for (int i = offsetDigits_ - 1; i >= 0 && offset > 0; --i) {
        text[static_cast<size_t>(i)] = "0123456789ABCDEF"[offset % base];
        offset /= base;
    }
    if (separator_)
        text += separator_;
    return text;
}

HexLayout::Hit HexLayout::HitTest(double cell) const {
    Hit hit;
    if (cell >= charStart_ - 1) {
        hit.field = HexField::Char;
        hit.index =
            std::clamp(static_cast<int>(std::floor(cell)) - charStart_, 0, bytesPerLine_ - 1);
        return hit;
    }
    const int groupWidth = 2 * bytesPerColumn_ + 1;
    const double inHex = std::max(cell - hexStart_, 0.0);
    const int group =
        std::min(static_cast<int>(inHex / groupWidth), bytesPerLine_ / bytesPerColumn_ - 1);
    // The blank after a group belongs to its last digit.
    const int within =
        std::min(static_cast<int>(inHex - group * groupWidth), 2 * bytesPerColumn_ - 1);
    hit.index = group * bytesPerColumn_ + within / 2;
    hit.digit = within % 2;
    return hit;
}
