#pragma once

#include "card/ReplaceSaver.h"

#include <cstdint>
#include <string>

class CardVolume;

// What to do with a saver whose name the destination already holds.
enum class NameClash : uint8_t {
    Overwrite, // the copy takes that saver's place, in the same write-back
    Append,    // the copy goes beside it
    Skip,      // this saver is left where it is; the others go on
    Stop,      // this saver and every one after it are left where they are
};

// What became of one saver of a transfer.
struct SaverStep {
    int index = 0;  // its place in the caller's list
    int entry = -1; // its directory entry on the source
    // A move refused it before anything: the source's directory would not
    // let it go (CopySavers stops there).
    bool sourceLocked = false;
    // The copy was tried: no name clash, or one answered Overwrite or Append.
    bool attempted = false;
    // The copy's result, when attempted.
    SaverResult copy;
};

// The caller's side of a transfer of savers from one card to another: how a
// name clash is answered (the window asks the user, porvane-cli goes by its
// flags) and what the user sees between savers. Called between savers, never
// while a saver's blocks are on their way.
class TransferPolicy {
  public:
    virtual ~TransferPolicy() = default;
    // Saver `entry` of source is named like saver `existing` of destination.
    virtual NameClash AnswerNameClash(const CardVolume& source, int entry,
                                      const CardVolume& destination, int existing) = 0;
    // Saver `index` of the list passed the checks that need no answer and
    // is next: its name clash, if any, then its copy.
    virtual void BeforeSaver(int index, int entry) {
        (void)index;
        (void)entry;
    }
    // The saver is done with: copied, left, or refused.
    virtual void AfterSaver(const SaverStep& step) { (void)step; }
    // The status line while a copy runs ("      Copying").
    virtual void ShowStatus(const std::string& text) { (void)text; }
};
