#pragma once

#include <string>

// The savers of the demo card, made by this program for trying it out
// without a console. Each is written as a single-saver file (entry, then the
// blocks in card order) so that the card engine places it like any import.

// "PORVANE_DEMO": a data saver of 5 blocks with a description, a 3-frame
// pinwheel icon that turns seamlessly, and a little save data after it.
inline constexpr const char* kDemoDataName = "PORVANE_DEMO";
inline constexpr int kDemoDataBlocks = 5;
inline constexpr int kDemoDataFrames = 3;
bool WriteDemoDataDci(const std::string& path);

// "PORVANE_GAME": a game of 3 blocks starting at block 0. Block 0 holds a
// short 86K program (reset vector, interrupt returns and a counting loop);
// the header with a description and a 1-frame icon is its second block.
inline constexpr const char* kDemoGameName = "PORVANE_GAME";
inline constexpr int kDemoGameBlocks = 3;
inline constexpr int kDemoGameFrames = 1;
bool WriteDemoGameDci(const std::string& path);

// The caption logo "ICONDATA_VMS" with the caption "PORVANE DEMO", built by
// the caption-logo builder from a picture of this program's own drawing.
inline constexpr const char* kDemoLogoCaption = "PORVANE DEMO";
bool WriteDemoLogoDci(const std::string& path);
