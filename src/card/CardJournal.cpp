#include "card/CardJournal.h"

#include <cstring>
#include <ctime>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

constexpr int kDataBlocks = CardVolume::kDirLastBlock;

} // namespace

struct CardJournal::Live {
    std::string command;
    bool started = false;
    bool broken = false;
    BlockBytes before[kSystemBlocks];
    BlockBytes after[kSystemBlocks];
    bool owned[kDataBlocks];
    bool read[kDataBlocks];
    bool keep[kDataBlocks];
    BlockBytes data[kDataBlocks];
};

bool ReadSystemBlocks(CardVolume& volume, BlockBytes (&out)[kSystemBlocks]) {
    for (int k = 0; k < kSystemBlocks; ++k) {
        if (!volume.ReadRawBlock(volume.Device, static_cast<uint8_t>(CardVolume::kDirLastBlock + k),
                                 out[k]))
            return false;
    }
    return true;
}

CardJournal::CardJournal(const std::string& dataFolder)
    : folder_((fs::path(dataFolder.empty() ? "." : dataFolder) / "journal").string()),
      live_(std::make_unique<Live>()) {}

CardJournal::~CardJournal() = default;

std::string CardJournal::PathFor(const uint8_t* naturalRoot, uint8_t device,
                                 const std::string& imagePath) const {
    return (fs::path(folder_) / JournalKey(naturalRoot, device, imagePath)).string();
}

std::string CardJournal::PathFor(const CardVolume& volume) const {
    return PathFor(volume.Root, volume.Device, volume.ImageName);
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
    live_->command = command;
    live_->started = false;
    live_->broken = false;
}

void CardJournal::End(CardVolume& volume) {
    if (depth_ == 0 || volume_ != &volume)
        return;
    if (--depth_ > 0)
        return;
    if (live_->started && !live_->broken)
        Commit(volume);
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
        problem_ = "The card's system blocks could not be read; the change is not in the history.";
        return;
    }
    std::memcpy(l.after, l.before, sizeof l.after);
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
    std::vector<JournalRecord> records;
    LoadJournal(PathFor(view.root, volume.Device, volume.ImageName), records);
    for (const JournalRecord& r : records) {
        for (const JournalSaver& s : r.removed) {
            for (int i = 0; i < s.count; ++i)
                l.owned[s.chain[i]] = true;
        }
    }
}

void CardJournal::BeforeWrite(CardVolume& volume, uint8_t block, const uint8_t* data512) {
    if (depth_ == 0 || volume_ != &volume)
        return;
    Live& l = *live_;
    if (!l.started)
        Start(volume);
    if (l.broken || block >= kDataBlocks || !l.owned[block])
        return;
    if (!l.read[block]) {
        if (!volume.ReadRawBlock(volume.Device, block, l.data[block])) {
            l.broken = true;
            problem_ = "A block about to be overwritten could not be read; the change is not in "
                       "the history.";
            return;
        }
        l.read[block] = true;
    }
    // A block written with what it already holds needs no copy.
    if (std::memcmp(l.data[block], data512, CardVolume::kBlockSize) != 0)
        l.keep[block] = true;
}

void CardJournal::AfterWrite(CardVolume& volume, uint8_t block, const uint8_t* data512,
                             bool written) {
    if (depth_ == 0 || volume_ != &volume || !live_->started || live_->broken)
        return;
    if (written && block >= kDataBlocks)
        std::memcpy(live_->after[block - kDataBlocks], data512, CardVolume::kBlockSize);
}

void CardJournal::Commit(CardVolume& volume) {
    Live& l = *live_;
    JournalRecord r;
    r.command = l.command;
    r.time = static_cast<int64_t>(std::time(nullptr));
    std::memcpy(r.before, l.before, sizeof r.before);
    std::memcpy(r.after, l.after, sizeof r.after);
    for (int b = 0; b < kDataBlocks; ++b) {
        if (!l.keep[b])
            continue;
        KeptBlock k;
        k.block = static_cast<uint8_t>(b);
        std::memcpy(k.before, l.data[b], CardVolume::kBlockSize);
        r.kept.push_back(k);
    }
    if (r.kept.empty() && std::memcmp(r.before, r.after, sizeof r.before) == 0)
        return; // nothing changed

    const SystemView was(r.before);
    const SystemView now(r.after);
    for (const auto& raw : was.entries) {
        if (!SystemView::InUse(raw))
            continue;
        bool stays = false;
        for (const auto& other : now.entries)
            stays = stays || std::memcmp(raw, other, SaverEntry::kSize) == 0;
        if (stays)
            continue;
        JournalSaver s;
        std::memcpy(s.raw, raw, SaverEntry::kSize);
        s.count = static_cast<uint8_t>(was.Chain(raw, s.chain));
        uint64_t hash = HashBytes(nullptr, 0);
        uint8_t block[CardVolume::kBlockSize];
        bool whole = s.count == raw[SaverEntry::kSizeOffset];
        for (int i = 0; i < s.count && whole; ++i) {
            const uint8_t b = s.chain[i];
            if (l.read[b])
                std::memcpy(block, l.data[b], sizeof block);
            else if (!volume.ReadRawBlock(volume.Device, b, block))
                whole = false;
            hash = HashBytes(block, sizeof block, hash);
        }
        // A saver whose data could not be read whole can never be recovered.
        s.hash = whole ? hash : 0;
        r.removed.push_back(s);
    }

    std::error_code ec;
    fs::create_directories(folder_, ec);
    const std::string path = PathFor(now.root, volume.Device, volume.ImageName);
    std::vector<JournalRecord> records;
    LoadJournal(path, records);
    records.push_back(std::move(r));
    if (!SaveJournal(path, records)) {
        problem_ = "The history file " + path + " could not be written.";
        return;
    }
    problem_.clear();
    TrimJournalFolder(folder_, fs::path(path).filename().string(), kJournalMaxTotalBytes);
}
