#include "card/CardJournal.h"

#include "card/CardWriteBack.h"
#include "card/JournalPending.h"
#include "card/SaverText.h"

#include <cstring>
#include <ctime>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

constexpr int kDataBlocks = CardVolume::kDirLastBlock;
constexpr size_t kSystemBytes = sizeof(BlockBytes) * kSystemBlocks;

// "\"delete X\" is not in the history: why."
std::string NotKept(const std::string& command, const std::string& why) {
    std::string text = "\"";
    text += SaverText(command);
    text += "\" is not in the history: ";
    text += why;
    text += ".";
    return text;
}

bool Listed(const SystemView& view, const uint8_t* raw) {
    for (const auto& entry : view.entries) {
        if (std::memcmp(entry, raw, SaverEntry::kSize) == 0)
            return true;
    }
    return false;
}

// The system blocks the listing was read from, card order; false when the
// listing did not keep them all.
bool ListedSystemBlocks(const CardVolume& volume, BlockBytes (&system)[kSystemBlocks]) {
    for (int k = 0; k < kSystemBlocks; ++k) {
        const auto block = static_cast<uint8_t>(CardVolume::kDirLastBlock + k);
        if (!volume.Listing().Copy().Kept(block))
            return false;
        std::memcpy(system[k], volume.Listing().Copy().Data(block), sizeof system[k]);
        SwapWords(system[k]);
    }
    return true;
}

} // namespace

struct CardJournal::Live {
    std::string command;
    std::string location;
    std::string history; // the card's history file, empty when it has none yet
    bool started = false;
    bool broken = false;
    bool failed = false;     // a write failed: the change may be cut off
    uint32_t planned = 0;    // system blocks told of by Plan, bit k for block 241 + k
    bool planDirty = false;  // told of since the mark last had the plan
    bool planMarked = false; // the mark holds the plan, and no data came after it
    BlockBytes before[kSystemBlocks];
    BlockBytes after[kSystemBlocks];
    BlockBytes plan[kSystemBlocks];
    bool owned[kDataBlocks];
    bool read[kDataBlocks];
    bool keep[kDataBlocks];
    BlockBytes data[kDataBlocks];
    PendingChange pending;

    void PlannedAfter(BlockBytes (&out)[kSystemBlocks]) const {
        for (int k = 0; k < kSystemBlocks; ++k)
            std::memcpy(out[k], (planned >> k) & 1u ? plan[k] : before[k], sizeof out[k]);
    }
};

CardJournal::CardJournal(const std::string& dataFolder)
    : folder_((fs::path(dataFolder.empty() ? "." : dataFolder) / "journal").string()),
      live_(std::make_unique<Live>()) {}

CardJournal::~CardJournal() = default;

std::string CardJournal::Location(const CardVolume& volume) {
    return JournalLocation(volume.Device(), volume.ImageName());
}

bool CardJournal::FindHistory(CardVolume& volume, const BlockBytes (&system)[kSystemBlocks],
                              std::vector<JournalRecord>& records, std::string* path) const {
    records.clear();
    for (const std::string& candidate :
         JournalCandidates(folder_, Location(volume), SystemFingerprint(system))) {
        std::vector<JournalRecord> found;
        LoadJournal(candidate, found);
        if (found.empty() || std::memcmp(found.back().after, system, kSystemBytes) != 0)
            continue;
        // Two cards can read alike in their system blocks; the data blocks
        // the last change left tell them apart.
        bool same = true;
        for (const JournalProbe& p : found.back().probes) {
            uint8_t block[CardVolume::kBlockSize];
            same = same && volume.ReadRawBlock(volume.Device(), p.block, block) &&
                   !LinkFailedOn(volume) && HashBytes(block, sizeof block) == p.hash;
        }
        if (!same)
            continue;
        records = std::move(found);
        if (path != nullptr)
            *path = candidate;
        return true;
    }
    return false;
}

void CardJournal::NoteListed(CardVolume& volume) {
    ListedHistory& noted = listed_[Location(volume)];
    noted = ListedHistory();
    BlockBytes system[kSystemBlocks];
    std::vector<JournalRecord> records;
    if (!ListedSystemBlocks(volume, system) || !FindHistory(volume, system, records))
        return;
    noted.fingerprint = SystemFingerprint(system);
    noted.command = records.back().command;
}

std::string CardJournal::ListedLastCommand(const CardVolume& volume) const {
    BlockBytes system[kSystemBlocks];
    const auto noted = listed_.find(Location(volume));
    if (noted == listed_.end() || noted->second.command.empty() ||
        !ListedSystemBlocks(volume, system) ||
        SystemFingerprint(system) != noted->second.fingerprint)
        return "";
    return noted->second.command;
}

void CardJournal::BuildRecord(CardVolume& volume, JournalRecord& r,
                              const uint8_t* const* saved) const {
    const SystemView was(r.before);
    const SystemView now(r.after);
    auto read = [&](uint8_t b, uint8_t* out) {
        if (saved != nullptr && saved[b] != nullptr) {
            std::memcpy(out, saved[b], CardVolume::kBlockSize);
            return true;
        }
        return volume.ReadRawBlock(volume.Device(), b, out) && !LinkFailedOn(volume);
    };
    r.removed.clear();
    for (const auto& raw : was.entries) {
        if (!SystemView::InUse(raw) || Listed(now, raw))
            continue;
        JournalSaver s;
        std::memcpy(s.raw, raw, SaverEntry::kSize);
        s.count = static_cast<uint8_t>(was.Chain(raw, s.chain));
        uint64_t hash = HashBytes(nullptr, 0);
        uint8_t block[CardVolume::kBlockSize];
        // A saver that was not whole, or whose data could not be read whole,
        // can never be recovered.
        bool whole = SaverWhole(was, s);
        for (int i = 0; i < s.count && whole; ++i) {
            whole = read(s.chain[i], block);
            hash = HashBytes(block, sizeof block, hash);
        }
        s.hash = whole ? hash : 0;
        r.removed.push_back(s);
    }

    // Probes: the first blocks of the savers the change put on, then of those
    // it took off, then the blocks it rewrote, as the card holds them now.
    uint8_t candidates[CardVolume::kBlockCount];
    int count = 0;
    auto add = [&](int b) {
        if (b < 0 || b >= kDataBlocks)
            return;
        for (int i = 0; i < count; ++i) {
            if (candidates[i] == b)
                return;
        }
        candidates[count++] = static_cast<uint8_t>(b);
    };
    uint8_t chain[kDataBlocks];
    for (const auto& raw : now.entries) {
        if (SystemView::InUse(raw) && !Listed(was, raw) && now.Chain(raw, chain) > 0)
            add(chain[0]);
    }
    for (const JournalSaver& s : r.removed)
        add(s.count > 0 ? s.chain[0] : -1);
    for (const KeptBlock& k : r.kept)
        add(k.block);
    r.probes.clear();
    for (int i = 0; i < count && r.probes.size() < kJournalMaxProbes; ++i) {
        uint8_t block[CardVolume::kBlockSize];
        if (!volume.ReadRawBlock(volume.Device(), candidates[i], block) || LinkFailedOn(volume))
            continue;
        r.probes.push_back({candidates[i], HashBytes(block, sizeof block)});
    }
}

bool CardJournal::StoreRecord(const std::string& location, const std::string& historyPath,
                              JournalRecord record, std::string& problem) {
    std::error_code ec;
    fs::create_directories(folder_, ec);
    std::vector<JournalRecord> records;
    if (!historyPath.empty())
        LoadJournal(historyPath, records);
    const std::string name = JournalFileName(location, record);
    const std::string path = (fs::path(folder_) / name).string();
    records.push_back(std::move(record));
    if (!SaveJournal(path, records)) {
        problem = "the history file " + path + " could not be written";
        return false;
    }
    if (!historyPath.empty() && historyPath != path)
        fs::remove(historyPath, ec);
    TrimJournalFolder(folder_, name, kJournalMaxTotalBytes);
    return true;
}

const std::string& CardJournal::MarkUnderWay() const {
    return live_->pending.Path();
}

void CardJournal::Problem(const CardVolume& volume, const std::string& text) {
    problem_ = text;
    problemVolume_ = &volume;
}

void CardJournal::ClearProblem() {
    problem_.clear();
    problemVolume_ = nullptr;
}

void CardJournal::Begin(CardVolume& volume, const std::string& command) {
    if (!Enabled)
        return;
    if (depth_ > 0) {
        // A change inside another one on the same card belongs to it.
        if (volume_ == &volume)
            ++depth_;
        return;
    }
    volume_ = &volume;
    depth_ = 1;
    Live& l = *live_;
    l.command = command;
    l.started = false;
    l.broken = false;
    l.failed = false;
    l.planned = 0;
    l.planDirty = false;
    l.planMarked = false;
}

void CardJournal::End(CardVolume& volume) {
    if (depth_ == 0 || volume_ != &volume)
        return;
    if (--depth_ > 0)
        return;
    Live& l = *live_;
    if (l.started && !l.broken) {
        if (l.failed)
            Settle(volume);
        else
            Commit(volume);
    }
    l.pending.Leave();
    volume_ = nullptr;
}

void CardJournal::Start(CardVolume& volume) {
    Live& l = *live_;
    l.started = true;
    std::memset(l.read, 0, sizeof l.read);
    std::memset(l.keep, 0, sizeof l.keep);
    std::memset(l.owned, 0, sizeof l.owned);
    if (!ReadSystemBlocks(volume, l.before)) {
        l.broken = true;
        Problem(volume, NotKept(l.command, "the card's system blocks could not be read first"));
        return;
    }
    std::memcpy(l.after, l.before, sizeof l.after);
    l.location = Location(volume);
    std::vector<JournalRecord> records;
    if (!FindHistory(volume, l.before, records, &l.history))
        l.history.clear();
    // Blocks worth keeping: those of every listed saver and of every saver
    // the history still remembers as deleted.
    const SystemView view(l.before);
    uint8_t chain[kDataBlocks];
    for (const auto& raw : view.entries) {
        if (!SystemView::InUse(raw))
            continue;
        const int n = view.Chain(raw, chain);
        for (int i = 0; i < n; ++i)
            l.owned[chain[i]] = true;
    }
    for (const JournalRecord& r : records) {
        for (const JournalSaver& s : r.removed) {
            for (int i = 0; i < s.count; ++i)
                l.owned[s.chain[i]] = true;
        }
    }
    // Begun: on the disk before the first block is written.
    (void)l.pending.Begin((fs::path(folder_) / PendingFileName(l.location, l.before)).string(),
                          l.command, static_cast<int64_t>(std::time(nullptr)),
                          fs::path(l.history).filename().string(), l.before,
                          volume.Place() != CardPlace::Image);
}

void CardJournal::Plan(CardVolume& volume, uint8_t block, const uint8_t* data512) {
    if (depth_ == 0 || volume_ != &volume || block < kDataBlocks)
        return;
    Live& l = *live_;
    const int k = block - kDataBlocks;
    std::memcpy(l.plan[k], data512, CardVolume::kBlockSize);
    l.planned |= 1u << k;
    l.planDirty = true;
}

void CardJournal::BeforeWrite(CardVolume& volume, uint8_t block, const uint8_t* data512) {
    if (depth_ == 0 || volume_ != &volume)
        return;
    Live& l = *live_;
    if (!l.started)
        Start(volume);
    if (l.broken)
        return;
    if (block >= kDataBlocks) {
        if (l.planDirty) {
            BlockBytes planned[kSystemBlocks];
            l.PlannedAfter(planned);
            l.planMarked = l.pending.Plan(planned);
            l.planDirty = false;
        }
        (void)l.pending.Write(block, data512);
        return;
    }
    // Saver data after the plan: finishing by the plan would miss it.
    if (l.planMarked) {
        (void)l.pending.DropPlan();
        l.planMarked = false;
        l.planDirty = l.planned != 0;
    }
    if (!l.owned[block])
        return;
    if (!l.read[block]) {
        if (!volume.ReadRawBlock(volume.Device(), block, l.data[block])) {
            l.broken = true;
            Problem(volume,
                    NotKept(l.command, "a block about to be overwritten could not be read first"));
            return;
        }
        l.read[block] = true;
    }
    // A block written with what it already holds needs no copy; the old
    // bytes are on the disk before the new ones go to the card.
    if (!l.keep[block] && std::memcmp(l.data[block], data512, CardVolume::kBlockSize) != 0) {
        l.keep[block] = true;
        (void)l.pending.Keep(block, l.data[block]);
    }
}

void CardJournal::AfterWrite(CardVolume& volume, uint8_t block, const uint8_t* data512,
                             bool written) {
    if (depth_ == 0 || volume_ != &volume || !live_->started || live_->broken)
        return;
    if (!written)
        live_->failed = true;
    else if (block >= kDataBlocks)
        std::memcpy(live_->after[block - kDataBlocks], data512, CardVolume::kBlockSize);
}

void CardJournal::Settle(CardVolume& volume) {
    Live& l = *live_;
    // Over a link that failed, the card's next reading settles the change.
    if (LinkFailedOn(volume))
        return;
    BlockBytes now[kSystemBlocks];
    volume.Store().Cache().ForgetAll();
    if (!ReadSystemBlocks(volume, now))
        return;
    bool kept = false;
    for (bool k : l.keep)
        kept = kept || k;
    if (std::memcmp(now, l.before, sizeof now) == 0 && !kept) {
        l.pending.Done(); // the change put the card back as it was
        return;
    }
    BlockBytes planned[kSystemBlocks];
    l.PlannedAfter(planned);
    if (l.planMarked && std::memcmp(now, planned, sizeof now) == 0) {
        std::memcpy(l.after, now, sizeof now);
        Commit(volume); // every block went through after all
    }
}

void CardJournal::Commit(CardVolume& volume) {
    Live& l = *live_;
    JournalRecord r;
    r.command = l.command;
    r.time = static_cast<int64_t>(std::time(nullptr));
    std::memcpy(r.before, l.before, sizeof r.before);
    std::memcpy(r.after, l.after, sizeof r.after);
    const uint8_t* saved[CardVolume::kBlockCount] = {};
    for (int b = 0; b < kDataBlocks; ++b) {
        if (l.read[b])
            saved[b] = l.data[b];
        if (!l.keep[b])
            continue;
        KeptBlock k;
        k.block = static_cast<uint8_t>(b);
        std::memcpy(k.before, l.data[b], CardVolume::kBlockSize);
        r.kept.push_back(k);
    }
    if (r.kept.empty() && std::memcmp(r.before, r.after, sizeof r.before) == 0) {
        l.pending.Done(); // nothing changed
        return;
    }
    BuildRecord(volume, r, saved);
    // The card's listing, up to date with our writes, now has this history.
    ListedHistory noted;
    noted.fingerprint = SystemFingerprint(r.after);
    noted.command = r.command;
    std::string problem;
    if (StoreRecord(l.location, l.history, std::move(r), problem))
        listed_[l.location] = noted;
    else
        Problem(volume, NotKept(l.command, problem));
    l.pending.Done();
}
