#pragma once

#include "card/CardVolume.h"

#include <cstdint>
#include <ctime>
#include <string>

// Single saves as web archives hand them out: a ".VMS" file with the saver's
// blocks in natural order (a last short block is padded with zeros), and a
// 108-byte ".VMI" file beside it that describes them (little-endian):
//   0x00 checksum: resource name bytes 0..3 ANDed with 'S', 'E', 'G', 'A'
//   0x04 description (32)  0x24 copyright (32)
//   0x44 year (2), month, day, hour, minute, second, weekday (0 = Sunday)
//   0x4C version (2, 0)    0x4E file number (2, 1)
//   0x50 resource name (8): the VMS file's name without ".VMS"
//   0x58 the saver's name on the card (12)
//   0x64 mode (2): bit 1 game, bit 0 copy protected   0x66 reserved (2)
//   0x68 the data's size in bytes (4)
// Imports turn a pair into a single-saver file and place that with the DCI
// import, so that every check and refusal of that import applies.

inline constexpr int kVmiSize = 108;
inline constexpr int kVmiResourceLength = 8;

struct VmiFields {
    uint8_t description[32] = {};
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

// The checksum of a resource name as the VMI carries it.
uint32_t VmiChecksum(const uint8_t* resource8);
// The 108 bytes of a VMI, checksum included.
void EncodeVmi(const VmiFields& fields, uint8_t* out108);
// Reads a VMI's bytes; false with the reason when it is not 108 bytes long,
// its checksum is wrong or a name field holds control bytes.
bool DecodeVmi(const uint8_t* bytes, size_t size, VmiFields& fields, std::string& error);

// Whether the name ends in ".vms" / ".vmi" (any case).
bool IsVmsPath(const std::string& path);
bool IsVmiPath(const std::string& path);
// The VMI beside a VMS: the same name with ".VMI" (".vmi" for a lower-case
// ".vms").
std::string VmiPathFor(const std::string& vmsPath);
// The resource name a VMS path gives (its file name without the extension);
// false with the reason when it is longer than 8 characters or not plain
// printable ASCII.
bool ResourceNameOf(const std::string& vmsPath, std::string& resource, std::string& error);

// Writes the saver of entry as vmsPath and vmiPath (created or truncated),
// resource being the name the VMI gives the VMS. The description is the
// first 32 bytes of the saver's header. False with the reason when the entry
// is empty, its chain broken, a read failed or a file could not be written.
bool ExportVmsVmi(const std::string& vmsPath, const std::string& vmiPath,
                  const std::string& resource, int entry, CardVolume& volume, std::string& error);

// The files of a pair to import, found from either of them. A VMI finds its
// VMS by the resource name it holds, beside it, in any case of letters; a
// VMS finds its VMI by its own name. A VMS without a VMI is lone.
struct VmsPair {
    std::string vms;
    std::string vmi; // empty for a lone VMS
    bool Lone() const { return vmi.empty(); }
};
bool FindVmsPair(const std::string& chosen, VmsPair& pair, std::string& error);

// Builds the single-saver file of a pair at dciPath: the entry from the VMI
// (type from the mode, BCD time stamp, size, copy protection), the blocks
// turned to card order. A lone VMS is a data saver named after its file
// (upper case, 12 characters at most) and dated now. Nothing is written when
// the VMI's size does not match the VMS or the data is empty or too large
// for a card; error then says why.
bool BuildDciFromVms(const VmsPair& pair, const std::string& dciPath, std::time_t now,
                     std::string& error);

// A file name in the temporary folder for a single-saver file built on the
// way, removed when the object goes.
class TempSaverFile {
  public:
    TempSaverFile();
    ~TempSaverFile();
    TempSaverFile(const TempSaverFile&) = delete;
    TempSaverFile& operator=(const TempSaverFile&) = delete;
    // Empty when no file could be made.
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
};
