#pragma once

#include <string>

class CardJournal;
class CardVolume;

// A change the link (or a dying program) cut off between its first and last
// write stays marked as begun in the journal folder. Before a card is read,
// its place's marks are held against it: when its system blocks are those
// before the change, or a mix of those and what the change was writing, the
// card is that change's and is put right: taken back by default, or finished
// when the card's feedback confirms that (and the change had said where it was
// going); then checked.

struct SettleOutcome {
    bool found = false;    // a change cut off on this card was found
    bool settled = false;  // and it was finished or taken back whole
    bool finished = false; // finished rather than taken back
    bool clean = false;    // the card's check found no problem afterwards
    std::string message;   // what happened, for the user; empty when nothing
};

SettleOutcome SettleCutChange(CardVolume& volume, CardJournal& journal);

// Whether a change of this card's place was left begun and not done (no
// link work: only the journal folder is looked at).
bool HasCutChange(const CardVolume& volume, const CardJournal& journal);

// The question a window asks before finishing a change, and the answer's
// meaning: Yes finishes it, anything else takes it back.
std::string FinishQuestion(const std::string& card, const std::string& command);
