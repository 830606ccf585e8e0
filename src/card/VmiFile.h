#pragma once

#include "card/SaverEntry.h"

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>

// The ".VMI" file that describes a ".VMS" save as web archives hand them out
// (108 bytes, little-endian):
//   0x00 checksum: resource name bytes 0..3 ANDed with 'S', 'E', 'G', 'A'
//   0x04 description (32, Shift-JIS allowed)   0x24 copyright (32)
//   0x44 year (2), month, day, hour, minute, second, weekday (0 = Sunday)
//   0x4C version (2, 0)    0x4E file number (2, 1)
//   0x50 resource name (8): the VMS file's name without ".VMS"
//   0x58 the saver's name on the card (12)
//   0x64 mode (2): bit 1 game, bit 0 copy protected   0x66 reserved (2)
//   0x68 the data's size in bytes (4)
// The console's own browser, and other writers, put fixed bytes where the
// checksum goes, so a wrong checksum is worth a word but no refusal.

inline constexpr int kVmiSize = 108;
inline constexpr int kVmiResourceLength = 8;
inline constexpr int kVmiDescriptionLength = 32;

struct VmiFields {
    uint8_t description[kVmiDescriptionLength] = {};
    uint8_t copyright[32] = {};
    uint16_t year = 0;
    uint8_t month = 0, day = 0, hour = 0, minute = 0, second = 0, weekday = 0;
    uint16_t version = 0;
    uint16_t fileNumber = 1;
    uint8_t resource[kVmiResourceLength] = {};
    uint8_t name[SaverEntry::kNameLength] = {};
    uint16_t mode = 0;
    uint32_t dataBytes = 0;

    static constexpr uint16_t kModeGame = 2;
    static constexpr uint16_t kModeProtected = 1;
};

// What a VMI holds that an import goes past, told to the user in one line.
struct VmiAdvice {
    bool checksumWrong = false;
    // Bytes after the first 108, which are all that is read.
    size_t extraBytes = 0;
    // The time stamp is no date and time: the saver is dated now.
    bool dateImpossible = false;

    bool Any() const { return checksumWrong || extraBytes > 0 || dateImpossible; }
    // "FILE: what was gone past; ..." in one line; empty when there is nothing.
    std::string Line(const std::string& file) const;
};

// The checksum of a resource name as the VMI carries it.
uint32_t VmiChecksum(const uint8_t* resource8);
// The 108 bytes of a VMI, checksum included.
void EncodeVmi(const VmiFields& fields, uint8_t* out108);
// Reads the first 108 bytes of a VMI file of fileSize bytes (bytes holds at
// least min(fileSize, 108) of them). False with the reason, naming the real
// size, when the file is shorter than 108 bytes, or when a name field is
// empty or holds control bytes (or, for the resource name, anything but
// ASCII). A wrong checksum and bytes after the 108th
// go into advice.
bool DecodeVmi(const uint8_t* bytes, size_t fileSize, VmiFields& fields, VmiAdvice& advice,
               std::string& error);

// The card's 8-byte BCD time stamp (century, year, month, day, hour, minute,
// second, weekday with 0 = Monday) from a VMI's time (weekday 0 = Sunday).
// False, writing nothing, when the VMI's date or time is impossible or does
// not fit four BCD digits of year.
bool VmiTimeToCardStamp(const VmiFields& fields, uint8_t* stamp8);
// The other way: the VMI's time fields from a card's stamp.
void CardStampToVmiTime(const uint8_t* stamp8, VmiFields& fields);
// The card's stamp of a moment, in local time.
void CardStampAt(std::time_t when, uint8_t* stamp8);
