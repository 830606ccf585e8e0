#pragma once

#include "base/AtomicFile.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

// Output files of porvane-cli. An existing file is replaced only with
// --force; either way the new file is written under a temporary name in the
// same folder and renamed into place once whole, so that a failed or cut-off
// write never leaves a half-written file where the old one was, and the old
// one stays as it was.
class CliOutputFiles {
  public:
    explicit CliOutputFiles(bool force) : force_(force) {}
    ~CliOutputFiles(); // removes whatever was written but not committed
    CliOutputFiles(const CliOutputFiles&) = delete;
    CliOutputFiles& operator=(const CliOutputFiles&) = delete;

    // Why path can't be an output; empty when it can. Refused: a folder or
    // other non-file, and an existing file without --force.
    std::string Problem(const std::string& path) const;

    // A fresh temporary file beside path for the writer to fill (it may
    // truncate it); empty with error set when the folder takes no new file.
    std::string Begin(const std::string& path, std::string& error);

    // Moves every begun file into place, in the order begun. Without --force
    // a file that appeared meanwhile is not replaced. False with error set
    // when a file could not be synced or renamed; the temporaries left are
    // removed.
    bool Commit(std::string& error);

  private:
    bool force_;
    std::vector<std::unique_ptr<AtomicFile>> pending_;
};
