#pragma once

#include <cstdint>
#include <string>

// The two byte orders a whole-card image comes in: ".DCM" files hold every
// block in card order (each aligned group of four bytes reversed), while
// emulators keep their card dumps ("*.bin", "*.vmu") in natural order. Both
// are 131072 bytes without a header, so the order is read from the content:
// the order in which block 255 reads as a formatted root is the image's; when
// the root does not tell (damaged), the order in which the table and the
// directory read as a card's (chains that end where they should, entries
// that point into them). A wrong order gives neither: every table value
// turns into a number that is no block and no mark.
enum class ImageOrder : uint8_t { Card, Natural };

struct OrderGuess {
    ImageOrder order = ImageOrder::Card;
    // False when neither the root nor the table and directory told the
    // order, so that the file's name decided.
    bool fromContent = true;
    // The table reads as formatted (the same in both orders).
    bool formatted = true;
    // A formatted card whose order only its name gave: written in that order,
    // it may be written in the other one. Such an image is only read.
    bool Unsure() const { return !fromContent && formatted; }
};

// Blocks 241..255 (directory, table, root) of an image, as the file holds
// them: what the order is read from.
inline constexpr int kOrderFirstBlock = 241;
inline constexpr int kOrderBlocks = 15;

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

// The order of an image whose blocks 241..255, as the file holds them, are
// system (kOrderBlocks blocks).
OrderGuess GuessImageOrder(const uint8_t* system, const std::string& path);

// The same from the file itself; a file without whole blocks 241..255 (a
// blank image yet to be written, say) goes by its name.
OrderGuess GuessImageFileOrder(const std::string& path);

// Why nothing is written to the image at path: its order is unsure. Names the
// file and says how to state the order.
std::string OrderUnknownText(const std::string& path);

// "DCM" or "raw dump", for titles and messages.
const char* ImageOrderName(ImageOrder order);

// "raw" / "dcm" as the command line writes them; false for anything else.
bool ParseImageOrder(const std::string& text, ImageOrder& order);

// Writes the 131072-byte image in to out in the given order (out is created
// or truncated). The input's order is guessed as above; when that is unsure
// it is refused, unless stated says the order it is in: then its bytes go
// over as they are and the copy's root gets the layout fields every
// formatted card has, so that the copy tells its order. The input is read
// under a shared lock (card/ImageLock.h). False, with error set, when in is
// not a whole image, is unsure, is kept by another program, or out cannot
// be written whole.
bool ConvertImageFile(const std::string& in, const std::string& out, ImageOrder to,
                      std::string& error, const ImageOrder* stated = nullptr);

// Sets the root's layout fields (natural order) to a formatted card's, the
// user-block count too when it is not 1..241 (then the smallest of 200, 240
// and 241 that covers every block the table gives out); fat is the table.
void StateRootLayout(uint8_t* naturalRoot512, const uint16_t* fat);
