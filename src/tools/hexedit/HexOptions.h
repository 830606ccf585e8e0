#pragma once

#include "tools/hexedit/Translation.h"

// How the grid shows and edits its data; the View menu sets these.
struct HexOptions {
    int BytesPerLine = 16;  // 16, 32 or 64
    int BytesPerColumn = 1; // 1, 2 or 4
    int CaretStyle = 0;     // 0 full block, 1 left line, 2 bottom line
    // The caret's shape follows the mode: a left line while inserting, a
    // full block while overwriting.
    bool AutoCaretMode = false;
    int OffsetDisplay = 0; // 0 hex, 1 decimal, 2 octal, 3 none
    char OffsetSeparator = ':';
    int GridLineWidth = 0; // 0 or 1
    bool ShowMarkerColumn = false;
    bool SwapNibbles = false;
    bool MaskWhiteSpaces = true;
    ::Translation Translation = ::Translation::Ansi;
    bool NoSizeChange = false;
    bool AllowInsertMode = true;
    // Saving over a file first keeps the old one under this extension
    // ("name.ext" -> "name.bak"); empty keeps no copy.
    const char* BackupExtension = "";
};
