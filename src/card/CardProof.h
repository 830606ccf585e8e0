#pragma once

#include "card/CardCheck.h"
#include "card/JournalFile.h"

#include <string>
#include <vector>

// The card as a change would leave it, checked before the change writes:
// CheckCard run on system blocks in memory, and the problems it finds that
// the card does not have now.

struct CardProof {
    CardCheckReport report;
    // One key per problem of the report, naming what it is about by the
    // savers' entry bytes rather than their places in the directory.
    std::vector<std::string> keys;
};

// Checks the card whose system blocks (card order) are given; nothing is read
// from a card. False when the check could not run.
bool CheckSystemImage(const BlockBytes (&system)[kSystemBlocks], CardProof& proof);

// The text of the first problem of after that now does not have (more
// leaked blocks, or a worse free count, count as new); empty when none.
std::string NewProblem(const CardProof& now, const CardProof& after);
