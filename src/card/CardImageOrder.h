#pragma once

#include <cstdint>
#include <string>

// The two byte orders a whole-card image comes in: ".DCM" files hold every
// block in card order (each aligned group of four bytes reversed), while
// emulators keep their card dumps ("*.bin", "*.vmu") in natural order. Both
// are 131072 bytes without a header, so the order is read from the content:
// the order in which block 255 reads as a formatted root is the image's.
enum class ImageOrder : uint8_t { Card, Natural };

struct OrderGuess {
    ImageOrder order = ImageOrder::Card;
    // False when the root read as formatted in both orders or in neither
    // (unformatted or damaged), so that the file's name decided.
    bool fromContent = true;
};

// Whether a root block in natural order describes a formatted card: table at
// block 254 of one block, directory at 253 of 13 blocks, 1..241 user blocks.
bool RootLooksFormatted(const uint8_t* naturalRoot512);

// Whether the name ends in ".bin" or ".vmu" (any case): the names emulators
// give their dumps.
bool NameSaysNatural(const std::string& path);

// The order an image is written in when the user asks for path: a raw dump
// when the emulators' dump format was chosen, or when the name ends in ".vmu"
// (no DCM is called that); card order otherwise, ".bin" included, as the
// "BIN file format" beside DCM has always been.
ImageOrder OrderForWriting(const std::string& path, bool dumpChosen);

// The order of an image whose block 255, as the file holds it, is root512.
OrderGuess GuessImageOrder(const uint8_t* root512, const std::string& path);

// The same from the file itself; a file without a whole block 255 (a blank
// image yet to be written, say) goes by its name.
OrderGuess GuessImageFileOrder(const std::string& path);

// "DCM" or "raw dump", for titles and messages.
const char* ImageOrderName(ImageOrder order);

// "raw" / "dcm" as the command line writes them; false for anything else.
bool ParseImageOrder(const std::string& text, ImageOrder& order);

// Writes the 131072-byte image in to out in the given order (out is created
// or truncated). The input's order is guessed as above. False, with error
// set, when in is not a whole image or out cannot be written whole.
bool ConvertImageFile(const std::string& in, const std::string& out, ImageOrder to,
                      std::string& error);
