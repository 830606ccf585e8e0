#pragma once

#include "card/CardVolume.h"

#include <cstdint>
#include <string>
#include <vector>

// A card check a user can run before trusting a card, and the repair that
// writes only what is safe. Shared by porvane-cli's "check" and the window.

enum class CardProblemKind : uint8_t {
    NotFormatted,    // the table reads 0xFFFF at block 0 or 1
    RootLayout,      // the root's table and directory fields are not this card's layout
    UserBlocks,      // the root's user-block count is 0 or beyond 241
    SystemChains,    // the table's chains of the directory, table and root are damaged
    GameFirstBlock,  // a game's entry names a first block other than 0
    TypeDamaged,     // a game's type byte on a data saver (its chain starts at byte 2)
    ChainNoEnd,      // a chain goes on after its saver's size (or its last block is marked free)
    ChainShort,      // a chain ends, with its end mark, before its saver's size
    ChainBroken,     // a chain breaks: a free mark, a damaged link, a system block, a loop
    SharedBlocks,    // two savers reach the same blocks
    OutsideUserArea, // a saver's block lies beyond the root's user-block count
    LeakedBlocks,    // blocks allocated in the table that no saver reaches
    FreeCount,       // the listing's free count disagrees with the table
    HiddenEntry,     // note: an entry in use with size 0, which the listing skips
    UnknownType,     // note: a saver type other than data (0x33) or game (0xCC)
};

// Short lower-case name of a kind, for JSON ("leaked_blocks").
const char* CardProblemName(CardProblemKind kind);

struct CardProblem {
    CardProblemKind kind = CardProblemKind::NotFormatted;
    // A note tells of something odd that loses nothing; it leaves the card clean.
    bool note = false;
    int entry = -1;   // directory index of the saver concerned, or -1
    int other = -1;   // the other saver of shared blocks, or -1
    int block = -1;   // the first block concerned, or -1
    int count = 0;    // blocks concerned (leaked, shared, beyond the user area)
    std::string text; // one sentence for the user
};

struct CardCheckReport {
    bool readable = false; // root, table and directory could be read
    bool busy = false;     // another program kept the image: nothing was read
    bool formatted = false;
    int userBlocks = 0;
    int savers = 0;
    int listedFree = 0;                // user blocks less the savers' sizes, as the card view shows
    int tableFree = 0;                 // blocks the table gives as free that no saver reaches
    std::vector<CardProblem> problems; // notes included
    // Readable, formatted and no problem other than notes.
    bool Clean() const;
    int ProblemCount() const;
};

// Reads the root, the table and the directory afresh and checks them;
// writes nothing. The directory is read from its own blocks, 253 down to
// 241, so that a damaged directory chain shows as such rather than as savers
// made of saver data. False (readable false) when a block could not be read.
// Afterwards the volume's Root, Fat and Entries hold what was read (entries
// decoded without reading headers: no descriptions or icons); reload the
// volume before listing it. An image is read under its shared lock
// (card/ImageLock.h); busy tells when another program kept it.
bool CheckCard(CardVolume& volume, CardCheckReport& report);

// The same checks on the root, table and directory the volume holds (as its
// listing read them), reading nothing: what a view can tell of a card at no
// cost. The table's system chains were put right in memory by the listing,
// so damage to them does not show here.
void CheckListedCard(const CardVolume& volume, CardCheckReport& report);

struct CardRepairReport {
    CardCheckReport before;            // the check before anything was written
    CardCheckReport after;             // the check after the repair
    std::vector<std::string> repairs;  // what was written, one sentence each
    std::vector<std::string> refusals; // what was left alone, and why
    bool writeFailed = false;
    // The repair was refused: the card no longer gives the changes offered.
    bool changed = false;
};

// Checks, then writes only what is safe, and checks again:
// - rebuilds the table's system chains and the root's layout fields;
// - ends a chain that goes on after its saver's size at that size, when
//   what follows is free or another saver's; when it goes on through blocks
//   no saver owns to a proper end, raises the size to the chain's length
//   instead (a size byte lowered by damage, 0 included), and when it then
//   breaks, leaves it;
// - lowers a saver's size to its chain when the chain ends with its end mark
//   early and no leaked block could be the rest of it;
// - zeroes byte 2 of a game's entry, unless the type byte is the damage
//   (TypeDamaged: reported, nothing changed);
// - raises the root's user-block count (to 200, 240 or 241) to cover blocks
//   savers use;
// - frees leaked blocks, unless a damaged or cross-linked saver is on the
//   card (they may hold the rest of it).
// It never deletes a saver, never touches a saver that shares blocks with
// another (it names both), and leaves chains that break for the user to
// rescue. Writes go table first, then directory, then root; a failed write
// stops the repair (writeFailed). False when the card could not be read or
// a write failed. With offered (the repairs a PlanCardRepair listed), nothing
// is written unless the plan is still exactly that (else changed is set).
bool RepairCard(CardVolume& volume, CardRepairReport& report,
                const std::vector<std::string>* offered = nullptr);

// What RepairCard would write, without writing: repairs lists the changes,
// refusals what it would leave and why; before and after are the card as
// it is (memory is put back as the check read it). False when the card
// could not be read.
bool PlanCardRepair(CardVolume& volume, CardRepairReport& report);
