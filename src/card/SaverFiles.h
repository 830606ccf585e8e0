#pragma once

#include "card/CardVolume.h"
#include "card/VmsVmi.h"

#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// Savers as files beside a card, a whole folder at a time: the names an
// export gives them, the save files a folder holds, and the import of each
// with its questions answered beforehand. The command line and the window
// both go through these.

enum class SaverFileFormat : uint8_t { Dci, VmsPair };

// The name of the files one saver is exported as, without the extension:
// its name with every character but letters, digits, '-' and '_' made '_'
// (a saver name may hold '/', blanks or Shift-JIS), never a device name of
// some system, at most 8 characters for a VMS (the VMI names it so), and
// unique among the savers of the card whatever the case of its letters.
struct SaverFileName {
    int entry = -1;
    std::string stem;
};
// One name for every saver the volume lists, in list order.
std::vector<SaverFileName> SaverFileNames(const CardVolume& volume, SaverFileFormat format);
// The files a stem stands for in folder: FOLDER/STEM.DCI, or the VMS then the
// VMI of a pair.
std::vector<std::string> SaverFilePaths(const std::string& folder, const std::string& stem,
                                        SaverFileFormat format);

// Writes the saver of entry into folder under stem. Every file is written
// whole under a scratch name beside its target and takes its name only once
// all of the saver's files are whole; with replace false a file that exists
// is left as it is and the export fails. False with the reason.
bool ExportSaverFile(CardVolume& volume, int entry, const std::string& folder,
                     const std::string& stem, SaverFileFormat format, bool replace,
                     std::string& error);

// The save files of a folder, in the byte order of their names: single-saver
// files (".DCI"), VMS + VMI pairs (once, through the VMI) and VMS files
// without a VMI. Anything else is left out. False with the reason when the
// folder cannot be read.
bool SaveFilesIn(const std::string& folder, std::vector<std::string>& files, std::string& error);

// Whether path is a VMS without a VMI beside it (the import asks whether it
// is a game or data).
bool IsLoneVms(const std::string& path);

// One save file made ready to place: a single-saver file as it stands, or a
// VMS (+ VMI) built into one in a temporary file that goes with this object.
class PreparedSaverFile {
  public:
    PreparedSaverFile();
    ~PreparedSaverFile();
    PreparedSaverFile(const PreparedSaverFile&) = delete;
    PreparedSaverFile& operator=(const PreparedSaverFile&) = delete;

    // False with the reason when the file cannot become a saver: no regular
    // file, a VMI that cannot be read or does not match its VMS, a single-saver
    // file shorter than its header.
    bool Prepare(const std::string& path, VmsBuild& build, std::string& error);

    const std::string& Source() const { return source_; }
    // The single-saver file to place.
    const std::string& DciPath() const { return dci_; }
    // The saver's 12 name bytes as the directory will hold them.
    const std::string& Name() const { return name_; }
    // The VMI's advice line, empty when there is none.
    const std::string& Advice() const { return advice_; }
    // text with the temporary file's name, where it appears, made the source's.
    std::string Named(const std::string& text) const;

  private:
    std::string source_;
    std::string dci_;
    std::string name_;
    std::string advice_;
    std::unique_ptr<TempSaverFile> temp_;
};

// What happened to one file of a folder import or export.
struct SaverFileReport {
    std::string file;
    std::string name; // the saver's 12 name bytes; empty when not known
    bool done = false;
    std::string reason; // why not, when not done
    std::string advice; // one line of advice, may be empty
};

// The answers a folder import needs; each may ask the user.
enum class SameNameChoice : uint8_t { Refuse, Replace, Append };
enum class LoneVmsChoice : uint8_t { Data, Game, Skip };
struct SaverFileQuestions {
    // What a VMS without a VMI is; not set: data.
    std::function<LoneVmsChoice(const std::string& vms)> loneVms;
    // What a saver of the same name on the card means; not set: Refuse.
    std::function<SameNameChoice(const std::string& name12)> sameName;
    // Told before each file: its number from 0, the count and the file.
    std::function<void(int index, int count, const std::string& file)> progress;
    // Whether the link failed for good (then the rest is not tried).
    std::function<bool()> linkBroke;
};
// An export asks nothing; it only tells its progress and stops on a link
// failure, as above.
using SaverFileSteps = SaverFileQuestions;

// Imports each file onto the loaded volume in the order given, each with the
// checks of a single import; a refused or failed file is reported and the
// next one goes on. The volume is read again after each import, so each file
// sees the savers before it. One report per file, in order.
std::vector<SaverFileReport> ImportSaverFiles(const std::vector<std::string>& files,
                                              CardVolume& volume,
                                              const SaverFileQuestions& questions, std::time_t now);

// Exports every saver of the listing into folder under SaverFileNames; one
// that fails is reported and the next one goes on.
std::vector<SaverFileReport> ExportSaverFiles(CardVolume& volume, const std::string& folder,
                                              SaverFileFormat format, bool replace,
                                              const SaverFileSteps& steps = {});

// The files of those names that exist in folder already.
std::vector<std::string> ExistingSaverFiles(const std::vector<SaverFileName>& names,
                                            const std::string& folder, SaverFileFormat format);

// The summary of a folder import or export: a first line with the counts,
// then one line per file ("imported", "refused" with the reason, advice
// indented under it). showName turns a saver's name bytes into display text.
std::vector<std::string>
SaverFileSummary(const std::vector<SaverFileReport>& reports, bool importing,
                 const std::function<std::string(const std::string&)>& showName);
