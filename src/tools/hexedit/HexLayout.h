#pragma once

#include "tools/hexedit/HexCursor.h"
#include "tools/hexedit/HexOptions.h"

#include <cstdint>
#include <string>

// Where things stand on one line of the grid, in character cells of the
// fixed-pitch font: the marker column, the offset with its separator, the
// hex digits in column groups and the character column.
//
//   [>] 000010: 41 42 43 ...  ABC...
class HexLayout {
  public:
    HexLayout(const HexOptions& options, int64_t dataSize);

    int BytesPerLine() const { return bytesPerLine_; }
    int BytesPerColumn() const { return bytesPerColumn_; }
    // One line more than the data fills when the caret can stand after the
    // last byte at the start of a line.
    int64_t LineCount() const { return lineCount_; }

    int MarkerCells() const { return markerCells_; }
    int OffsetStart() const { return markerCells_; }
    // Digits and separator; 0 when offsets are not shown.
    int OffsetWidth() const { return offsetWidth_; }
    int HexStart() const { return hexStart_; }
    int HexEnd() const { return hexEnd_; }
    int CharStart() const { return charStart_; }
    int TotalCells() const { return charStart_ + bytesPerLine_ + 1; }

    // Cell of the shown digit (0 or 1) of the byte at index in its line.
    int HexCell(int index, int digit) const {
        const int group = index / bytesPerColumn_;
        return hexStart_ + group * (2 * bytesPerColumn_ + 1) + (index % bytesPerColumn_) * 2 +
               digit;
    }
    int CharCell(int index) const { return charStart_ + index; }
    int ColumnOf(int index) const { return index / bytesPerColumn_; }

    // The offset text with its separator, "" when offsets are not shown.
    std::string OffsetText(int64_t offset) const;

    struct Hit {
        HexField field = HexField::Hex;
        int index = 0; // byte within the line, 0 .. BytesPerLine - 1
        int digit = 0; // shown digit in the hex column
    };
    // The byte under a cell position (fractions allowed); points left of the
    // hex column go to its first byte, gaps to the nearer byte.
    Hit HitTest(double cell) const;

  private:
    int bytesPerLine_;
    int bytesPerColumn_;
    int offsetDisplay_;
    char separator_;
    int offsetDigits_ = 0;
    int markerCells_;
    int offsetWidth_ = 0;
    int hexStart_;
    int hexEnd_;
    int charStart_;
    int64_t lineCount_;
};
