#pragma once

#include "card/CardJournal.h"

#include <string>
#include <vector>

// What the history allows on a card: taking back its last change, listing its
// changes and putting deleted savers back. Each reads the card itself (not the
// listing) and uses only the history of that card as it is now (see
// CardJournal::FindHistory). Nothing is written that cannot be proved: every
// saver comes back with the bytes it had, inside the card's user area, and
// the card as it would be left is checked in memory first; a problem it does
// not have now refuses the whole command. Writes go through the volume's
// verified block store; each is itself a change in the history. The caller
// lists the card again afterwards. Messages show names as the listing does.

struct JournalOutcome {
    bool done = false;    // something was written and all of it went through
    bool refused = false; // a check failed before anything was written
    std::string message;  // one or more sentences for the user
};

// The card's history, oldest first (empty when none is this card's as it is
// now); false when the card could not be read.
bool ReadHistory(CardVolume& volume, const CardJournal& journal,
                 std::vector<JournalRecord>& records);

// Takes back the card's last change when the card is still exactly as that
// change left it and every saver it brings back still holds its own bytes;
// otherwise refuses, writing nothing.
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

// What the change did to the savers, for one line of a list.
std::string DescribeChange(const JournalRecord& record);
// The change's command ("delete NAME", ...) as it may be shown.
std::string ShownCommand(const JournalRecord& record);
