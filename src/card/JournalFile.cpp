#include "card/JournalFile.h"

#include "base/AtomicFile.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

constexpr char kMagic[4] = {'P', 'V', 'J', '1'};
constexpr uint32_t kMaxRecordBytes = 1u << 20;

void Put(std::string& out, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

void PutBytes(std::string& out, const uint8_t* bytes, size_t count) {
    out.append(reinterpret_cast<const char*>(bytes), count);
}

// Reads from a bounded buffer; any read past its end fails the rest.
class Reader {
  public:
    Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool Get(uint64_t& value, int bytes) {
        if (!Has(static_cast<size_t>(bytes)))
            return false;
        value = 0;
        for (int i = 0; i < bytes; ++i)
            value |= static_cast<uint64_t>(data_[at_ + i]) << (8 * i);
        at_ += static_cast<size_t>(bytes);
        return true;
    }
    bool GetBytes(uint8_t* out, size_t count) {
        if (!Has(count))
            return false;
        std::memcpy(out, data_ + at_, count);
        at_ += count;
        return true;
    }
    bool Has(size_t count) const { return size_ - at_ >= count; }
    bool AtEnd() const { return at_ == size_; }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

std::string Encode(const JournalRecord& r) {
    std::string out;
    Put(out, static_cast<uint64_t>(r.time), 8);
    const size_t length = std::min<size_t>(r.command.size(), 0xFFFF);
    Put(out, length, 2);
    out.append(r.command, 0, length);
    for (const BlockBytes& b : r.before)
        PutBytes(out, b, CardVolume::kBlockSize);
    // Only the blocks the change altered are stored twice.
    uint32_t mask = 0;
    for (int k = 0; k < kSystemBlocks; ++k) {
        if (std::memcmp(r.before[k], r.after[k], CardVolume::kBlockSize) != 0)
            mask |= 1u << k;
    }
    Put(out, mask, 2);
    for (int k = 0; k < kSystemBlocks; ++k) {
        if (mask & (1u << k))
            PutBytes(out, r.after[k], CardVolume::kBlockSize);
    }
    Put(out, r.kept.size(), 2);
    for (const KeptBlock& k : r.kept) {
        Put(out, k.block, 1);
        PutBytes(out, k.before, CardVolume::kBlockSize);
    }
    Put(out, r.removed.size(), 1);
    for (const JournalSaver& s : r.removed) {
        PutBytes(out, s.raw, SaverEntry::kSize);
        Put(out, s.count, 1);
        PutBytes(out, s.chain, s.count);
        Put(out, s.hash, 8);
    }
    return out;
}

bool Decode(Reader& in, JournalRecord& r) {
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
    if (!in.Get(v, 2) || v > CardVolume::kDirLastBlock)
        return false;
    r.kept.resize(v);
    for (KeptBlock& k : r.kept) {
        uint64_t block = 0;
        if (!in.Get(block, 1) || block >= CardVolume::kDirLastBlock ||
            !in.GetBytes(k.before, CardVolume::kBlockSize))
            return false;
        k.block = static_cast<uint8_t>(block);
    }
    if (!in.Get(v, 1))
        return false;
    r.removed.resize(v);
    for (JournalSaver& s : r.removed) {
        uint64_t count = 0;
        if (!in.GetBytes(s.raw, SaverEntry::kSize) || !in.Get(count, 1) ||
            count > CardVolume::kDirLastBlock || !in.GetBytes(s.chain, count) || !in.Get(s.hash, 8))
            return false;
        s.count = static_cast<uint8_t>(count);
        // A chain reaching a system block would let a recovery write there.
        for (int i = 0; i < s.count; ++i) {
            if (s.chain[i] >= CardVolume::kDirLastBlock)
                return false;
        }
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

} // namespace

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

int SystemView::Chain(const uint8_t* raw, uint8_t* out) const {
    const int size = raw[SaverEntry::kSizeOffset];
    uint16_t block = SaverEntry::IsGameRaw(raw) ? 0 : raw[SaverEntry::kFirstBlockOffset];
    bool seen[CardVolume::kBlockCount] = {};
    int count = 0;
    while (count < size && block < CardVolume::kDirLastBlock && !seen[block]) {
        seen[block] = true;
        out[count++] = static_cast<uint8_t>(block);
        if (fat[block] == CardVolume::kFatEnd || fat[block] == CardVolume::kFatFree)
            break;
        block = fat[block] & 0xFF;
    }
    return count;
}

std::string JournalKey(const uint8_t* naturalRoot, uint8_t device, const std::string& imagePath) {
    constexpr int kStampOffset = 0x30;
    std::string key;
    if (device >= CardVolume::kImage) {
        std::error_code ec;
        const fs::path full = fs::weakly_canonical(fs::absolute(imagePath, ec), ec);
        const std::string text = full.string();
        char hash[17];
        std::snprintf(hash, sizeof hash, "%016llx",
                      static_cast<unsigned long long>(
                          HashBytes(reinterpret_cast<const uint8_t*>(text.data()), text.size())));
        key = std::string("image-") + hash;
    } else {
        key = "slot" + std::to_string(device + 1);
    }
    key += '-';
    for (int i = 0; i < 8; ++i)
        key += HexByte(naturalRoot[kStampOffset + i]);
    return key + ".journal";
}

bool LoadJournal(const std::string& path, std::vector<JournalRecord>& records) {
    records.clear();
    std::error_code ec;
    if (!fs::is_regular_file(path, ec))
        return !fs::exists(path, ec);
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr)
        return false;
    std::vector<uint8_t> data;
    uint8_t chunk[65536];
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0 && data.size() < 64u << 20)
        data.insert(data.end(), chunk, chunk + got);
    std::fclose(f);
    Reader in(data.data(), data.size());
    uint8_t magic[4];
    if (!in.GetBytes(magic, 4) || std::memcmp(magic, kMagic, 4) != 0)
        return false;
    uint64_t length = 0;
    while (in.Get(length, 4) && length <= kMaxRecordBytes && in.Has(length)) {
        std::vector<uint8_t> body(length);
        in.GetBytes(body.data(), length);
        Reader one(body.data(), body.size());
        JournalRecord r;
        if (!Decode(one, r))
            break;
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
        total += 4 + encoded[i].size();
    while (first + 1 < encoded.size() && total > kJournalMaxFileBytes) {
        total -= 4 + encoded[first].size();
        ++first;
    }
    records.erase(records.begin(), records.begin() + static_cast<long>(first));

    std::string out(kMagic, 4);
    for (size_t i = first; i < encoded.size(); ++i) {
        Put(out, encoded[i].size(), 4);
        out += encoded[i];
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
