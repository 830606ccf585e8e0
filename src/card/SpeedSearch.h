#pragma once

#include <cstdint>
#include <string>

class CardFeedback;
class LinkPort;
struct Settings;

// The three delay counts of the link.
struct DelayCounts {
    int32_t shortDelay = 0;
    int32_t longDelay = 0;
    int32_t longestDelay = 0;

    // What the speed bar stands for at value bar: the long count is the
    // bar's value, the short one a sixteenth of it, the longest one and a
    // half times it.
    static DelayCounts FromBar(int32_t bar);
    static DelayCounts Of(const Settings& settings);
    static DelayCounts Of(const LinkPort& link);
    void ApplyTo(LinkPort& link) const;
    void ApplyTo(Settings& settings) const;
    bool operator==(const DelayCounts&) const = default;
};

enum class SpeedOutcome : uint8_t {
    Found,
    NoBox,         // no box answers on the port
    NoCard,        // the box answers, but holds no card to read
    ErrsAtSlowest, // the card does not read right even at the slowest counts
};

struct SpeedResult {
    SpeedOutcome outcome = SpeedOutcome::NoBox;
    DelayCounts before; // the counts the search started from
    DelayCounts found;  // for Found: the counts of `bar`
    int32_t bar = 0;    // for Found: the speed bar's new value
    // The fastest bar value at which every read of the last few hundred
    // agreed; bar is this plus the safety margin.
    int32_t fastest = 0;
    // Nanoseconds one verified block read takes at the counts before and at
    // the found ones, on the link's clock; 0 where those counts do not read
    // the card right.
    int64_t beforeBlockNs = 0;
    int64_t foundBlockNs = 0;
    // Block reads the search made (it never writes).
    uint32_t blocksRead = 0;

    bool Found() const { return outcome == SpeedOutcome::Found; }
};

// Finds the fastest delay counts at which the link box reads the card right,
// with a safety margin. Starts from the counts, port and bar maximum of
// settings (the slowest counts are the bar's maximum, or the counts given
// when they are slower); reads the card's root, table and directory again
// and again while it lowers the counts, and never writes. The link's own
// port and counts are as they were afterwards: the caller puts the result on
// the bar. progress (may be null) sees the reads go by.
SpeedResult FindLinkSpeed(LinkPort& link, const Settings& settings,
                          CardFeedback* progress = nullptr);

// A refresh of a card of 20 savers with three icon frames each reads this
// many blocks: root, table, 13 directory blocks and four blocks per saver.
inline constexpr int kRefreshBlocks20 = 15 + 20 * 4;
// Seconds such a refresh takes when one verified block takes blockNs;
// unverified, each block is read once rather than twice.
double RefreshSeconds(int64_t blockNs, bool verified);

// What the search found, for the user: the counts before and after with
// what a 20-saver refresh takes at each, or why nothing changed.
std::string SpeedReport(const SpeedResult& result, bool verified);
