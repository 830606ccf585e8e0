#include "card/JournalPending.h"

#include "base/SafeFile.h"
#include "card/JournalBytes.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// Each piece: its type, its length, its bytes, and a hash of all three.
constexpr char kBegin = 'B';
constexpr char kKeep = 'K';
constexpr char kPlan = 'P';
constexpr char kDropPlan = 'X';
constexpr char kWrite = 'W';
constexpr uint32_t kMaxPiece = 1u << 16;

bool WriteAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

std::string BlockPiece(uint8_t block, const uint8_t* data512) {
    std::string out;
    PutNumber(out, block, 1);
    PutBytes(out, data512, CardVolume::kBlockSize);
    return out;
}

std::string SystemPiece(const BlockBytes (&system)[kSystemBlocks]) {
    std::string out;
    for (const BlockBytes& b : system)
        PutBytes(out, b, CardVolume::kBlockSize);
    return out;
}

bool ReadBlockPiece(ByteReader& in, KeptBlock& k) {
    uint64_t block = 0;
    if (!in.Get(block, 1) || !in.GetBytes(k.before, CardVolume::kBlockSize) || !in.AtEnd())
        return false;
    k.block = static_cast<uint8_t>(block);
    return true;
}

} // namespace

PendingChange::~PendingChange() {
    Leave();
}

bool PendingChange::Begin(const std::string& path, const std::string& command, int64_t time,
                          const std::string& history, const BlockBytes (&before)[kSystemBlocks],
                          bool durable) {
    Leave();
    std::error_code ec;
    fs::create_directories(fs::path(path).parent_path(), ec);
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd_ < 0)
        return false;
    path_ = path;
    std::string piece;
    PutNumber(piece, static_cast<uint64_t>(time), 8);
    const size_t length = std::min<size_t>(command.size(), 0xFFFF);
    PutNumber(piece, length, 2);
    piece.append(command, 0, length);
    PutNumber(piece, history.size(), 2);
    piece += history;
    piece += SystemPiece(before);
    if (!Append(kBegin, piece, durable)) {
        Done();
        return false;
    }
    return true;
}

bool PendingChange::Reopen(const std::string& path) {
    Leave();
    fd_ = ::open(path.c_str(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC);
    path_ = fd_ >= 0 ? path : "";
    return fd_ >= 0;
}

bool PendingChange::Keep(uint8_t block, const uint8_t* data512) {
    return Append(kKeep, BlockPiece(block, data512), false);
}

bool PendingChange::Plan(const BlockBytes (&after)[kSystemBlocks]) {
    return Append(kPlan, SystemPiece(after), false);
}

bool PendingChange::DropPlan() {
    return Append(kDropPlan, std::string(), false);
}

bool PendingChange::Write(uint8_t block, const uint8_t* data512) {
    return Append(kWrite, BlockPiece(block, data512), false);
}

void PendingChange::Done() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    if (!path_.empty())
        ::unlink(path_.c_str());
    path_.clear();
}

void PendingChange::Leave() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    path_.clear();
}

bool PendingChange::Append(char type, const std::string& payload, bool sync) {
    if (fd_ < 0)
        return false;
    std::string piece(1, type);
    PutNumber(piece, payload.size(), 4);
    piece += payload;
    PutNumber(piece, HashBytes(reinterpret_cast<const uint8_t*>(piece.data()), piece.size()), 8);
    // Every piece is written before the block it tells of; a program that
    // dies leaves it there. Against a computer that dies, the beginning is
    // on the disk itself.
    return WriteAll(fd_, piece) && (!sync || ::fdatasync(fd_) == 0);
}

bool LoadCutChange(const std::string& path, CutChange& cut) {
    cut = CutChange();
    cut.path = path;
    std::vector<uint8_t> data;
    if (!ReadWholeFile(path, false, 8u << 20, data))
        return false;
    ByteReader in(data.data(), data.size());
    bool begun = false;
    for (;;) {
        const uint8_t* start = in.Take(5);
        if (start == nullptr)
            break;
        const char type = static_cast<char>(start[0]);
        const uint32_t length =
            start[1] | start[2] << 8 | start[3] << 16 | static_cast<uint32_t>(start[4]) << 24;
        const uint8_t* body = length <= kMaxPiece ? in.Take(length) : nullptr;
        uint64_t sum = 0;
        if (body == nullptr || !in.Get(sum, 8) ||
            HashBytes(body, length, HashBytes(start, 5)) != sum)
            break; // torn: the rest never happened
        ByteReader piece(body, length);
        if (!begun) {
            uint64_t time = 0;
            uint64_t n = 0;
            if (type != kBegin || !piece.Get(time, 8) || !piece.Get(n, 2) || !piece.Has(n))
                return false;
            cut.time = static_cast<int64_t>(time);
            cut.command.assign(reinterpret_cast<const char*>(piece.Take(n)), n);
            if (!piece.Get(n, 2) || !piece.Has(n))
                return false;
            cut.history.assign(reinterpret_cast<const char*>(piece.Take(n)), n);
            for (BlockBytes& b : cut.before) {
                if (!piece.GetBytes(b, CardVolume::kBlockSize))
                    return false;
            }
            // A history name names a file in the same folder, nothing else.
            if (!piece.AtEnd() || cut.history.find('/') != std::string::npos)
                return false;
            begun = true;
            continue;
        }
        KeptBlock k;
        if (type == kKeep && ReadBlockPiece(piece, k) && k.block < CardVolume::kDirLastBlock) {
            cut.kept.push_back(k);
        } else if (type == kWrite && ReadBlockPiece(piece, k) &&
                   k.block >= CardVolume::kDirLastBlock) {
            cut.writes.push_back(k);
        } else if (type == kPlan && length == sizeof cut.after) {
            for (BlockBytes& b : cut.after)
                piece.GetBytes(b, CardVolume::kBlockSize);
            cut.planned = true;
        } else if (type == kDropPlan) {
            cut.planned = false;
        } else {
            break;
        }
    }
    return begun;
}

std::vector<std::string> PendingFiles(const std::string& folder, const std::string& location) {
    std::vector<std::string> found;
    const std::string prefix = location + "-";
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.rfind(prefix, 0) == 0 && it->path().extension() == ".pending")
            found.push_back(it->path().string());
    }
    std::sort(found.begin(), found.end());
    return found;
}

std::string PendingFileName(const std::string& location,
                            const BlockBytes (&before)[kSystemBlocks]) {
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx",
                  static_cast<unsigned long long>(SystemFingerprint(before)));
    return location + "-" + hex + ".pending";
}
