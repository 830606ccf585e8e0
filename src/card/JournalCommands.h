#pragma once

#include "card/CardJournal.h"

#include <string>
#include <vector>

// What the history allows on a card: taking back its last change, listing its
// changes and putting deleted savers back. Each reads the card itself (not the
// listing), writes through the volume's verified block store and is itself a
// change in the history. The caller lists the card again afterwards.

struct JournalOutcome {
    bool done = false;    // something was written and all of it went through
    bool refused = false; // a check failed before anything was written
    std::string message;  // one or more sentences for the user
};

// The card's history, oldest first; false when the card could not be read.
bool ReadHistory(CardVolume& volume, const CardJournal& journal,
                 std::vector<JournalRecord>& records);

// Takes back the card's last change when its system blocks are still exactly
// as that change left them; otherwise refuses, writing nothing.
JournalOutcome UndoLastChange(CardVolume& volume, CardJournal& journal);

// Puts back deleted savers: those of change `record` of the history (an index
// of ReadHistory's list), or of any change when record is -1; only the one
// called name when name is not empty. A saver comes back only when all its
// blocks are still free and hold what they held when it was deleted; it goes
// into a free directory entry with its old entry bytes. The others are named
// in lost.
struct RecoverReport {
    JournalOutcome outcome;
    std::vector<std::string> recovered;
    std::vector<std::string> lost; // "NAME: why"
};
RecoverReport RecoverSavers(CardVolume& volume, CardJournal& journal, const std::string& name,
                            int record = -1);

// "delete NAME", ... and what it did to the savers, for one line of a list.
std::string DescribeChange(const JournalRecord& record);
