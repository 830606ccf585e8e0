#pragma once

#include "card/JournalFile.h"

#include <memory>
#include <string>
#include <vector>

// The write-ahead mark of a card change: a file in the journal folder made
// before the change's first block write and removed after its last. While it
// is there the change is begun and not done. It holds the system blocks as
// they were, each saver block the change is about to overwrite, as it was,
// the system blocks as the change will leave them (once the change knows),
// and every system block on its way to the card, so that a card whose
// change the link cut off can be told by its blocks, and then taken back or
// finished. Appended to only; a torn last piece reads as not there.
class PendingChange {
  public:
    PendingChange() = default;
    ~PendingChange();
    PendingChange(const PendingChange&) = delete;
    PendingChange& operator=(const PendingChange&) = delete;

    // A new mark at path; history is the name of the history file the
    // change goes on (empty: a new one). durable: on the disk itself before
    // this returns (a card in a slot outlives the computer's memory; an image
    // file's own writes wait in it just as long). False when it cannot be
    // written.
    bool Begin(const std::string& path, const std::string& command, int64_t time,
               const std::string& history, const BlockBytes (&before)[kSystemBlocks], bool durable);
    // Goes on with an existing mark (settling a change cut off).
    bool Reopen(const std::string& path);
    bool Keep(uint8_t block, const uint8_t* data512);
    bool Plan(const BlockBytes (&after)[kSystemBlocks]);
    // Saver data written after the plan: the plan alone no longer finishes it.
    bool DropPlan();
    bool Write(uint8_t block, const uint8_t* data512);
    // The change is done (or was nothing): the mark goes.
    void Done();
    // Lets the file be, closed (the change stays begun).
    void Leave();
    bool Open() const { return fd_ >= 0; }
    const std::string& Path() const { return path_; }

  private:
    bool Append(char type, const std::string& payload, bool sync);

    int fd_ = -1;
    std::string path_;
};

// What a mark says.
struct CutChange {
    std::string path;
    std::string command;
    int64_t time = 0;
    std::string history;
    BlockBytes before[kSystemBlocks] = {};
    bool planned = false;
    BlockBytes after[kSystemBlocks] = {};
    std::vector<KeptBlock> kept;   // saver blocks as they were
    std::vector<KeptBlock> writes; // system blocks as they went to the card
};

// False when the file holds no sound beginning.
bool LoadCutChange(const std::string& path, CutChange& cut);

// The marks of a card's place (full paths), and the name of a new one.
std::vector<std::string> PendingFiles(const std::string& folder, const std::string& location);
std::string PendingFileName(const std::string& location, const BlockBytes (&before)[kSystemBlocks]);
