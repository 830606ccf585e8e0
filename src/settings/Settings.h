#pragma once

#include <cstdint>

// The program-wide settings, kept in "RUD2.cfg" beside the program. The port
// address and the delay counts are handed to the LinkPort.
struct Settings {
    uint16_t BasePort = 888;
    int32_t ShortDelay = 256;
    int32_t LongDelay = 4608;
    int32_t LongestDelay = 6912;
    int32_t BarMax = 9216;
    uint8_t DragMode = 0;    // 0 = drag and drop copies, 1 = moves
    uint8_t AutoRefresh = 1; // 1 = on
    // Line 8: read every block twice and read back every written block.
    uint8_t VerifyTransfers = 1; // 1 = on
    // Line 9: keep a history of card changes (undo, recovery of deleted savers).
    uint8_t KeepHistory = 1; // 1 = on
    // Line 10: savers dragged out of a view, or exported all at once, go out
    // as VMS + VMI pairs instead of single-saver files.
    uint8_t SaverFilesAsPairs = 0; // 1 = pairs
};
