// Finding the link's speed. The search reads the card's system blocks (root,
// table, directory: always there, and varied enough that a garbled bit
// shows) over and over, a single read at a time, and holds every read
// against a reference read twice alike at counts known to work:
//  1. the reference, at the counts given, or else at the slowest;
//  2. halving the distance between the fastest counts known to fail and the
//     slowest known to work, one pass over the blocks each, until the two
//     lie within about 1.5% of each other;
//  3. a few hundred reads at the fastest counts that worked; any read that
//     differs moves them up a step and the reads start again;
//  4. the safety margin on top, and one timed pass there.
// The counts follow the speed bar (DelayCounts::FromBar) so that the result
// is a place on the bar.
#include "card/SpeedSearch.h"

#include "card/CardFeedback.h"
#include "card/CardVolume.h"
#include "link/LinkPort.h"
#include "settings/Settings.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

constexpr int kSystemBlocks = CardVolume::kBlockCount - CardVolume::kDirLastBlock;
// Reads of each block that must agree for the reference, within attempts.
constexpr int kReferenceAttempts = 4;
// Passes over the system blocks at the fastest counts found: 300 reads, each
// of 4096 bits and their commands, before they count as the box's pace.
constexpr int kConfirmPasses = 20;
// The bisection stops within this many counts, or 1/64 of the counts.
constexpr int32_t kResolution = 16;
// The safety margin: a quarter more delay than the fastest counts that read
// right, and at least kMinMargin counts. The delays are spin loops whose
// pace follows the processor's clock, which changes with power saving,
// turbo and heat by up to about a fifth between the search and later use;
// the box's own timing drifts with temperature and supply as well. A
// quarter covers that while a transfer stays within 1.25 times the time at
// the fastest counts (less, as port accesses take their share).
constexpr int32_t kMinMargin = 64;

int32_t WithMargin(int32_t fastest) {
    return fastest + std::max(fastest / 4, kMinMargin);
}

struct Reference {
    uint8_t slot = 0;
    uint8_t blocks[kSystemBlocks][CardVolume::kBlockSize];
};

class Search {
  public:
    Search(LinkPort& link, CardFeedback* progress, SpeedResult& result)
        : link_(link), progress_(progress), result_(result) {}

    // Reads every system block until two reads agree; false when a block
    // does not within the attempts. ns: the time of one read, on average.
    bool ReadReference(const DelayCounts& counts, int64_t& ns) {
        counts.ApplyTo(link_);
        const int64_t start = link_.ClockNs();
        int reads = 0;
        uint8_t again[CardVolume::kBlockSize];
        for (int k = 0; k < kSystemBlocks; ++k) {
            const auto block = static_cast<uint8_t>(CardVolume::kDirLastBlock + k);
            bool agreed = false;
            bool have = false;
            for (int attempt = 0; attempt < kReferenceAttempts && !agreed; ++attempt) {
                ++reads;
                if (!Read(block, have ? again : ref_.blocks[k]))
                    continue;
                if (have)
                    agreed = std::memcmp(again, ref_.blocks[k], sizeof again) == 0;
                // A read that differs may be the garbled one: keep the newer.
                if (have && !agreed)
                    std::memcpy(ref_.blocks[k], again, sizeof again);
                have = true;
            }
            if (!agreed)
                return false;
        }
        ns = (link_.ClockNs() - start) / reads;
        return true;
    }

    // passes over the system blocks at bar; true when every read came back
    // whole and as the reference. ns: the time of one read, on average.
    bool ReadsAgree(int32_t bar, int passes, int64_t* ns = nullptr) {
        DelayCounts::FromBar(bar).ApplyTo(link_);
        const int64_t start = link_.ClockNs();
        uint8_t block[CardVolume::kBlockSize];
        for (int pass = 0; pass < passes; ++pass) {
            for (int k = 0; k < kSystemBlocks; ++k) {
                if (!Read(static_cast<uint8_t>(CardVolume::kDirLastBlock + k), block) ||
                    std::memcmp(block, ref_.blocks[k], sizeof block) != 0)
                    return false;
            }
        }
        if (ns != nullptr)
            *ns = (link_.ClockNs() - start) / (passes * kSystemBlocks);
        return true;
    }

    void SetSlot(uint8_t slot) { ref_.slot = slot; }

  private:
    bool Read(uint8_t block, uint8_t* out) {
        ++result_.blocksRead;
        if (progress_ != nullptr && result_.blocksRead % kSystemBlocks == 0)
            progress_->Repaint();
        return link_.ReadBlock(ref_.slot, block, out);
    }

    LinkPort& link_;
    CardFeedback* progress_;
    SpeedResult& result_;
    Reference ref_;
};

// The link's port and counts, put back however the search ends.
class LinkState {
  public:
    explicit LinkState(LinkPort& link)
        : link_(link), counts_(DelayCounts::Of(link)), base_(link.BasePort) {}
    ~LinkState() {
        counts_.ApplyTo(link_);
        link_.BasePort = base_;
    }
    LinkState(const LinkState&) = delete;
    LinkState& operator=(const LinkState&) = delete;

  private:
    LinkPort& link_;
    DelayCounts counts_;
    uint16_t base_;
};

// Whether a box answers, and which slot holds a card (the paged card's
// current page counts as slot 1): at the counts given, or else at the
// slowest ones, since a box that cannot keep up garbles the answers too.
// A handshake that timed out means no box.
SpeedOutcome FindCard(LinkPort& link, int32_t slowest, uint8_t& slot) {
    bool card1 = false;
    bool card2 = false;
    const auto ask = [&] {
        return link.DetectDevice() && (link.DirectMode || link.GetSlotStatus(card1, card2));
    };
    if (!ask() && !link.LinkFailed) {
        DelayCounts::FromBar(slowest).ApplyTo(link);
        if (!ask())
            return link.LinkFailed ? SpeedOutcome::NoBox : SpeedOutcome::ErrsAtSlowest;
    }
    if (link.LinkFailed)
        return SpeedOutcome::NoBox;
    slot = card1 || link.DirectMode ? 0 : 1;
    return link.DirectMode || card1 || card2 ? SpeedOutcome::Found : SpeedOutcome::NoCard;
}

std::string Hex(int32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(value));
    return text;
}

std::string Counts(const DelayCounts& c) {
    return "short " + Hex(c.shortDelay) + ", long " + Hex(c.longDelay) + ", longest " +
           Hex(c.longestDelay);
}

std::string Seconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, seconds < 10 ? "%.2f s" : "%.1f s", seconds);
    return text;
}

} // namespace

DelayCounts DelayCounts::FromBar(int32_t bar) {
    DelayCounts c;
    c.shortDelay = bar / 16;
    c.longDelay = bar;
    c.longestDelay = static_cast<int32_t>(std::min<int64_t>(int64_t{bar} * 3 / 2, INT32_MAX));
    return c;
}

DelayCounts DelayCounts::Of(const Settings& settings) {
    return {settings.ShortDelay, settings.LongDelay, settings.LongestDelay};
}

DelayCounts DelayCounts::Of(const LinkPort& link) {
    return {link.ShortDelay, link.LongDelay, link.LongestDelay};
}

void DelayCounts::ApplyTo(LinkPort& link) const {
    link.ShortDelay = shortDelay;
    link.LongDelay = longDelay;
    link.LongestDelay = longestDelay;
}

void DelayCounts::ApplyTo(Settings& settings) const {
    settings.ShortDelay = shortDelay;
    settings.LongDelay = longDelay;
    settings.LongestDelay = longestDelay;
}

SpeedResult FindLinkSpeed(LinkPort& link, const Settings& settings, CardFeedback* progress) {
    SpeedResult result;
    result.before = DelayCounts::Of(settings);
    const LinkState keep(link);
    link.BasePort = settings.BasePort;
    result.before.ApplyTo(link);
    // The slowest counts the bar offers, or those given when slower still.
    const int32_t slowest = std::max({settings.BarMax, settings.LongDelay, int32_t{0}});
    uint8_t slot = 0;
    result.outcome = FindCard(link, slowest, slot);
    if (result.outcome != SpeedOutcome::Found)
        return result;
    Search search(link, progress, result);
    search.SetSlot(slot);

    int64_t ns = 0;
    int32_t good = slowest;
    if (search.ReadReference(result.before, ns)) {
        result.beforeBlockNs = 2 * ns;
        // Counts typed by hand may lie off the bar; its own place is tried
        // from the long count.
        good = std::max(settings.LongDelay, int32_t{0});
        if (!search.ReadsAgree(good, 1))
            good = slowest;
    } else if (!search.ReadReference(DelayCounts::FromBar(slowest), ns)) {
        result.outcome = SpeedOutcome::ErrsAtSlowest;
        return result;
    }

    // Bisection: `bad` fails (or is below the bar), `good` reads right.
    int32_t bad = -1;
    for (;;) {
        for (;;) {
            const int32_t gap = good - bad;
            if (gap <= std::max(kResolution, good / 64))
                break;
            const int32_t mid = bad + gap / 2;
            if (search.ReadsAgree(mid, 1))
                good = mid;
            else
                bad = mid;
        }
        if (search.ReadsAgree(good, kConfirmPasses))
            break;
        // A read went wrong after all: the box's pace lies above.
        if (good >= slowest) {
            result.outcome = SpeedOutcome::ErrsAtSlowest;
            return result;
        }
        bad = good;
        good = std::min(WithMargin(good), slowest);
    }
    result.fastest = good;
    int32_t bar = std::min(WithMargin(good), slowest);
    if (!search.ReadsAgree(bar, 1, &ns)) {
        // Slower counts that read worse: the box is not one to push.
        bar = slowest;
        if (!search.ReadsAgree(bar, 1, &ns)) {
            result.outcome = SpeedOutcome::ErrsAtSlowest;
            return result;
        }
    }
    result.outcome = SpeedOutcome::Found;
    result.bar = bar;
    result.found = DelayCounts::FromBar(bar);
    result.foundBlockNs = 2 * ns;
    return result;
}

double RefreshSeconds(int64_t blockNs, bool verified) {
    return static_cast<double>(blockNs) * kRefreshBlocks20 / (verified ? 1e9 : 2e9);
}

std::string SpeedReport(const SpeedResult& result, bool verified) {
    switch (result.outcome) {
    case SpeedOutcome::NoBox:
        return "No link box answers on the port; the delay counts stay as they were.";
    case SpeedOutcome::NoCard:
        return "There is no card in the box to read; put one in and try again. The delay counts "
               "stay as they were.";
    case SpeedOutcome::ErrsAtSlowest:
        return "The card does not read right even at the slowest counts; check the cable, the "
               "box's power and the port. The delay counts stay as they were.";
    case SpeedOutcome::Found:
        break;
    }
    const auto refresh = [verified](int64_t ns) {
        return ns > 0 ? "a 20-saver refresh about " + Seconds(RefreshSeconds(ns, verified))
                      : std::string("these counts do not read the card right");
    };
    return "Old: " + Counts(result.before) + " (" + refresh(result.beforeBlockNs) +
           ")\nNew: " + Counts(result.found) + " (" + refresh(result.foundBlockNs) + ")";
}
