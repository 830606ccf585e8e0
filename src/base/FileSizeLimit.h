#pragma once

#include <csignal>

// A write past the file-size limit (ulimit -f) raises SIGXFSZ, which kills
// the process between two writes of one change, before any rollback can
// run. Ignored, the write fails with EFBIG like a full disk, and the change
// is taken back. Called first thing in main.
inline void FailWritesPastFileSizeLimit() {
    std::signal(SIGXFSZ, SIG_IGN);
}
