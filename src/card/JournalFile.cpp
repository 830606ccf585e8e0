#include "card/JournalFile.h"

#include "base/AtomicFile.h"
#include "base/SafeFile.h"
#include "card/JournalBytes.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// A file: the magic, then per record its length, its bytes and their hash.
constexpr char kMagic[4] = {'P', 'V', 'J', '2'};
constexpr uint32_t kMaxRecordBytes = 1u << 20;
constexpr int kDataBlocks = CardVolume::kDirLastBlock;

std::string Encode(const JournalRecord& r) {
    std::string out;
    PutNumber(out, static_cast<uint64_t>(r.time), 8);
    const size_t length = std::min<size_t>(r.command.size(), 0xFFFF);
    PutNumber(out, length, 2);
    out.append(r.command, 0, length);
    for (const BlockBytes& b : r.before)
        PutBytes(out, b, CardVolume::kBlockSize);
    // Only the blocks the change altered are stored twice.
    uint32_t mask = 0;
    for (int k = 0; k < kSystemBlocks; ++k) {
        if (std::memcmp(r.before[k], r.after[k], CardVolume::kBlockSize) != 0)
            mask |= 1u << k;
    }
    PutNumber(out, mask, 2);
    for (int k = 0; k < kSystemBlocks; ++k) {
        if (mask & (1u << k))
            PutBytes(out, r.after[k], CardVolume::kBlockSize);
    }
    PutNumber(out, r.kept.size(), 2);
    for (const KeptBlock& k : r.kept) {
        PutNumber(out, k.block, 1);
        PutBytes(out, k.before, CardVolume::kBlockSize);
    }
    PutNumber(out, r.removed.size(), 1);
    for (const JournalSaver& s : r.removed) {
        PutBytes(out, s.raw, SaverEntry::kSize);
        PutNumber(out, s.count, 1);
        PutBytes(out, s.chain, s.count);
        PutNumber(out, s.hash, 8);
    }
    PutNumber(out, r.probes.size(), 1);
    for (const JournalProbe& p : r.probes) {
        PutNumber(out, p.block, 1);
        PutNumber(out, p.hash, 8);
    }
    return out;
}

bool Decode(ByteReader& in, JournalRecord& r) {
    uint64_t v = 0;
    if (!in.Get(v, 8))
        return false;
    r.time = static_cast<int64_t>(v);
    if (!in.Get(v, 2) || !in.Has(v))
        return false;
    r.command.resize(v);
    if (!in.GetBytes(reinterpret_cast<uint8_t*>(r.command.data()), v))
        return false;
    for (BlockBytes& b : r.before) {
        if (!in.GetBytes(b, CardVolume::kBlockSize))
            return false;
    }
    uint64_t mask = 0;
    if (!in.Get(mask, 2))
        return false;
    for (int k = 0; k < kSystemBlocks; ++k) {
        if (!(mask & (1u << k)))
            std::memcpy(r.after[k], r.before[k], CardVolume::kBlockSize);
        else if (!in.GetBytes(r.after[k], CardVolume::kBlockSize))
            return false;
    }
    if (!in.Get(v, 2) || v > kDataBlocks)
        return false;
    r.kept.resize(v);
    for (KeptBlock& k : r.kept) {
        uint64_t block = 0;
        if (!in.Get(block, 1) || !in.GetBytes(k.before, CardVolume::kBlockSize))
            return false;
        k.block = static_cast<uint8_t>(block);
    }
    if (!in.Get(v, 1))
        return false;
    r.removed.resize(v);
    for (JournalSaver& s : r.removed) {
        uint64_t count = 0;
        if (!in.GetBytes(s.raw, SaverEntry::kSize) || !in.Get(count, 1) || count > kDataBlocks ||
            !in.GetBytes(s.chain, count) || !in.Get(s.hash, 8))
            return false;
        s.count = static_cast<uint8_t>(count);
    }
    if (!in.Get(v, 1) || v > kJournalMaxProbes)
        return false;
    r.probes.resize(v);
    for (JournalProbe& p : r.probes) {
        uint64_t block = 0;
        if (!in.Get(block, 1) || !in.Get(p.hash, 8))
            return false;
        p.block = static_cast<uint8_t>(block);
    }
    return in.AtEnd();
}

std::string TrimmedRawName(const uint8_t* raw) {
    std::string name(reinterpret_cast<const char*>(raw + SaverEntry::kNameOffset),
                     SaverEntry::kNameLength);
    while (!name.empty() && (name.back() == ' ' || name.back() == '\0'))
        name.pop_back();
    return name;
}

std::string Hex(uint64_t value, int digits) {
    char text[17];
    std::snprintf(text, sizeof text, "%0*llx", digits, static_cast<unsigned long long>(value));
    return text;
}

// Each data block at most once, none of them a system block.
bool DataBlocksOnce(const uint8_t* blocks, size_t count, bool (&seen)[CardVolume::kBlockCount]) {
    for (size_t i = 0; i < count; ++i) {
        if (blocks[i] >= kDataBlocks || seen[blocks[i]])
            return false;
        seen[blocks[i]] = true;
    }
    return true;
}

} // namespace

bool SaverWhole(const SystemView& view, const JournalSaver& saver) {
    const uint8_t* raw = saver.raw;
    const uint8_t first = SaverEntry::IsGameRaw(raw) ? 0 : raw[SaverEntry::kFirstBlockOffset];
    if (saver.count == 0 || saver.count != raw[SaverEntry::kSizeOffset] || saver.chain[0] != first)
        return false;
    for (int i = 0; i < saver.count; ++i) {
        if (saver.chain[i] >= view.UserBlocks())
            return false;
    }
    return true;
}

std::string JournalSaver::Name() const {
    return TrimmedRawName(raw);
}

void JournalRecord::ChangedSavers(std::vector<std::string>& gone,
                                  std::vector<std::string>& added) const {
    const SystemView was(before);
    const SystemView now(after);
    auto listed = [](const SystemView& view, const uint8_t* raw) {
        for (const auto& entry : view.entries) {
            if (std::memcmp(entry, raw, SaverEntry::kSize) == 0)
                return true;
        }
        return false;
    };
    for (const auto& entry : was.entries) {
        if (SystemView::InUse(entry) && !listed(now, entry))
            gone.push_back(TrimmedRawName(entry));
    }
    for (const auto& entry : now.entries) {
        if (SystemView::InUse(entry) && !listed(was, entry))
            added.push_back(TrimmedRawName(entry));
    }
}

uint64_t HashBytes(const uint8_t* bytes, size_t count, uint64_t seed) {
    uint64_t h = seed;
    for (size_t i = 0; i < count; ++i) {
        h ^= bytes[i];
        h *= 0x100000001B3ull;
    }
    return h;
}

SystemView::SystemView(const BlockBytes (&system)[kSystemBlocks]) {
    uint8_t block[CardVolume::kBlockSize];
    std::memcpy(block, system[CardVolume::kFatBlock - CardVolume::kDirLastBlock], sizeof block);
    SwapWords(block);
    for (int i = 0; i < CardVolume::kBlockCount; ++i)
        fat[i] = static_cast<uint16_t>(block[2 * i] | block[2 * i + 1] << 8);
    std::memcpy(root, system[CardVolume::kRootBlock - CardVolume::kDirLastBlock], sizeof root);
    SwapWords(root);
    // Entries in the directory's own order, block 253 down to 241.
    int n = 0;
    for (int b = CardVolume::kDirFirstBlock; b >= CardVolume::kDirLastBlock; --b) {
        std::memcpy(block, system[b - CardVolume::kDirLastBlock], sizeof block);
        SwapWords(block);
        for (int j = 0; j < CardVolume::kEntriesPerBlock && n < CardVolume::kEntryCount; ++j, ++n)
            std::memcpy(entries[n], block + SaverEntry::kSize * j, SaverEntry::kSize);
    }
}

bool SystemView::InUse(const uint8_t* raw) {
    return (raw[SaverEntry::kFirstBlockOffset] != 0 || raw[0] == SaverEntry::kTypeGame) &&
           raw[SaverEntry::kSizeOffset] != 0;
}

int SystemView::UserBlocks() const {
    return std::min<int>(root[CardVolume::kUserBlocksOffset], kDataBlocks);
}

int SystemView::Chain(const uint8_t* raw, uint8_t* out) const {
    const int size = raw[SaverEntry::kSizeOffset];
    uint16_t block = SaverEntry::IsGameRaw(raw) ? 0 : raw[SaverEntry::kFirstBlockOffset];
    bool seen[CardVolume::kBlockCount] = {};
    int count = 0;
    while (count < size && block < kDataBlocks && !seen[block]) {
        seen[block] = true;
        out[count++] = static_cast<uint8_t>(block);
        if (fat[block] == CardVolume::kFatEnd || fat[block] == CardVolume::kFatFree)
            break;
        block = fat[block] & 0xFF;
    }
    return count;
}

bool RecordSound(const JournalRecord& record) {
    bool kept[CardVolume::kBlockCount] = {};
    for (const KeptBlock& k : record.kept) {
        if (!DataBlocksOnce(&k.block, 1, kept))
            return false;
    }
    bool probed[CardVolume::kBlockCount] = {};
    for (const JournalProbe& p : record.probes) {
        if (!DataBlocksOnce(&p.block, 1, probed))
            return false;
    }
    if (record.removed.empty())
        return true;
    const SystemView was(record.before);
    for (const JournalSaver& s : record.removed) {
        const uint8_t* raw = s.raw;
        bool listed = false;
        for (const auto& entry : was.entries)
            listed = listed || std::memcmp(entry, raw, SaverEntry::kSize) == 0;
        uint8_t walked[kDataBlocks];
        bool seen[CardVolume::kBlockCount] = {};
        if (!listed || !SystemView::InUse(raw) || was.Chain(raw, walked) != s.count ||
            std::memcmp(walked, s.chain, s.count) != 0 || !DataBlocksOnce(s.chain, s.count, seen))
            return false;
        // A saver that can be brought back (it has a hash) was whole when
        // it was taken off: its size, from its first block, all of it
        // inside the user area as the card had it.
        if (s.hash != 0 && !SaverWhole(was, s))
            return false;
    }
    return true;
}

uint64_t SystemFingerprint(const BlockBytes (&system)[kSystemBlocks]) {
    uint64_t h = HashBytes(nullptr, 0);
    for (const BlockBytes& b : system)
        h = HashBytes(b, CardVolume::kBlockSize, h);
    return h;
}

std::string JournalLocation(uint8_t device, const std::string& imagePath) {
    if (device < PlaceIndex(CardPlace::Image))
        return "slot" + std::to_string(device + 1);
    std::error_code ec;
    const fs::path full = fs::weakly_canonical(fs::absolute(imagePath, ec), ec);
    const std::string text = full.string();
    return "image-" +
           Hex(HashBytes(reinterpret_cast<const uint8_t*>(text.data()), text.size()), 16);
}

std::string JournalFileName(const std::string& location, const JournalRecord& last) {
    uint64_t probes = HashBytes(nullptr, 0);
    for (const JournalProbe& p : last.probes) {
        probes = HashBytes(&p.block, 1, probes);
        probes = HashBytes(reinterpret_cast<const uint8_t*>(&p.hash), sizeof p.hash, probes);
    }
    return location + "-" + Hex(SystemFingerprint(last.after), 16) + "-" +
           Hex(probes & 0xFFFFFFFFu, 8) + ".journal";
}

std::vector<std::string> JournalCandidates(const std::string& folder, const std::string& location,
                                           uint64_t fingerprint) {
    std::vector<std::string> found;
    const std::string prefix = location + "-" + Hex(fingerprint, 16) + "-";
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.rfind(prefix, 0) == 0 && it->path().extension() == ".journal")
            found.push_back(it->path().string());
    }
    std::sort(found.begin(), found.end());
    return found;
}

bool LoadJournal(const std::string& path, std::vector<JournalRecord>& records) {
    records.clear();
    std::error_code ec;
    if (!fs::is_regular_file(path, ec))
        return !fs::exists(path, ec);
    std::vector<uint8_t> data;
    if (!ReadWholeFile(path, false, 64u << 20, data))
        return false;
    ByteReader in(data.data(), data.size());
    uint8_t magic[4];
    if (!in.GetBytes(magic, 4) || std::memcmp(magic, kMagic, 4) != 0)
        return false;
    uint64_t length = 0;
    while (in.Get(length, 4) && length <= kMaxRecordBytes && in.Has(length + 8)) {
        const uint8_t* body = in.Take(length);
        uint64_t sum = 0;
        in.Get(sum, 8);
        if (HashBytes(body, length) != sum)
            continue; // damaged: left out whole
        ByteReader one(body, length);
        JournalRecord r;
        if (Decode(one, r) && RecordSound(r))
            records.push_back(std::move(r));
    }
    return true;
}

bool SaveJournal(const std::string& path, std::vector<JournalRecord>& records) {
    std::vector<std::string> encoded;
    encoded.reserve(records.size());
    for (const JournalRecord& r : records)
        encoded.push_back(Encode(r));
    // Oldest dropped first, by count and by size.
    size_t first = records.size() > kJournalMaxChanges ? records.size() - kJournalMaxChanges : 0;
    uintmax_t total = 4;
    for (size_t i = first; i < encoded.size(); ++i)
        total += 12 + encoded[i].size();
    while (first + 1 < encoded.size() && total > kJournalMaxFileBytes) {
        total -= 12 + encoded[first].size();
        ++first;
    }
    records.erase(records.begin(), records.begin() + static_cast<long>(first));

    std::string out(kMagic, 4);
    for (size_t i = first; i < encoded.size(); ++i) {
        const std::string& body = encoded[i];
        PutNumber(out, body.size(), 4);
        out += body;
        PutNumber(out, HashBytes(reinterpret_cast<const uint8_t*>(body.data()), body.size()), 8);
    }
    return WriteFileAtomically(path, out.data(), out.size());
}

void TrimJournalFolder(const std::string& folder, const std::string& keep, uintmax_t maxBytes) {
    struct Item {
        fs::path path;
        fs::file_time_type when;
        uintmax_t size;
    };
    std::vector<Item> items;
    uintmax_t total = 0;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (it->path().extension() != ".journal" || !it->is_regular_file(ec))
            continue;
        Item item{it->path(), it->last_write_time(ec), it->file_size(ec)};
        if (ec)
            continue;
        total += item.size;
        items.push_back(item);
    }
    std::sort(items.begin(), items.end(),
              [](const Item& a, const Item& b) { return a.when < b.when; });
    for (const Item& item : items) {
        if (total <= maxBytes)
            break;
        if (item.path.filename() == keep)
            continue;
        if (fs::remove(item.path, ec))
            total -= item.size;
    }
}
