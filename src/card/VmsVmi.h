#pragma once

#include "card/CardVolume.h"
#include "card/VmiFile.h"

#include <cstdint>
#include <ctime>
#include <string>

// Single saves as web archives hand them out: a ".VMS" file with the saver's
// blocks in natural order (a last short block is padded with zeros), and the
// ".VMI" file beside it that describes them (card/VmiFile.h). Imports turn a
// pair into a single-saver file and place that with the DCI import, so that
// every check and refusal of that import applies.

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
// resource being the name the VMI gives the VMS. The VMI's description is
// the 32 bytes the console's file screen shows (header bytes 0x10..0x2F);
// only an entry byte 1 of 0xFF counts as copy protected. False with the
// reason when the entry
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

// How a pair becomes a single-saver file, and what was said about it.
struct VmsBuild {
    // The moment a lone VMS, or a VMI without a possible date, is dated.
    std::time_t now = 0;
    // A lone VMS as a game (it lands at block 0) instead of data.
    bool loneAsGame = false;
    // Out: one line of advice for the user (VmiAdvice::Line), empty when
    // the VMI was taken as it stands.
    std::string advice;
};

// Builds the single-saver file of a pair at dciPath: the entry from the VMI
// (type from the mode, BCD time stamp with the weekday counted from Monday,
// size, copy protection as byte 1 0xFF or 0x00), the blocks turned to card
// order. A lone VMS is named after its file (upper case, 12 characters at
// most) and dated now. Nothing is written when the VMI's size does not match
// the VMS or the data is empty or too large for a card; error then says why.
bool BuildDciFromVms(const VmsPair& pair, const std::string& dciPath, VmsBuild& build,
                     std::string& error);
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
