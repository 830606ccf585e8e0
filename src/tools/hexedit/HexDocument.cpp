#include "tools/hexedit/HexDocument.h"

#include "base/AtomicFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The file as it was before this save, beside it under the backup name. A
// backup that cannot be made does not stop the save: it is a courtesy.
void KeepBackup(const std::string& target, const char* extension) {
    std::filesystem::path backup(target);
    backup.replace_extension(extension);
    if (backup == std::filesystem::path(target))
        return;
    std::error_code error;
    std::filesystem::remove(backup, error);
    if (::link(target.c_str(), backup.c_str()) == 0)
        return;
    std::filesystem::copy_file(target, backup, error);
}

} // namespace

bool HexDocument::AnyChanged(int64_t first, int64_t last) const {
    first = std::max<int64_t>(first, 0);
    last = std::min(last, Size());
    for (int64_t i = first; i < last; ++i)
        if (changed_[static_cast<size_t>(i)])
            return true;
    return false;
}

bool HexDocument::LoadFile(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
    if (in.bad())
        return false;
    Reset(std::move(bytes), path);
    return true;
}

void HexDocument::Reset(std::vector<uint8_t> bytes, const std::string& name) {
    data_ = std::move(bytes);
    changed_.assign(data_.size(), 0);
    steps_.clear();
    cleanStep_ = 0;
    fileName_ = name;
}

bool HexDocument::SaveFile(const std::string& path, const char* backupExtension) {
    if (path.empty())
        return false;
    // Through a link of this user's, the file it points at is the one
    // replaced; one another user made (under the work file's name, say) is
    // never written through.
    struct stat link {};
    if (::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode) && link.st_uid != ::geteuid())
        return false;
    std::error_code error;
    const auto resolved = std::filesystem::weakly_canonical(path, error);
    const std::string target = error ? path : resolved.string();
    struct stat old {};
    const bool existed = ::stat(target.c_str(), &old) == 0;
    if (existed && !S_ISREG(old.st_mode))
        return false;
    AtomicFile file(target);
    if (!file.Ready() || !file.Write(data_.data(), data_.size()) || !file.Flush())
        return false;
    if (existed && backupExtension != nullptr && *backupExtension != '\0')
        KeepBackup(target, backupExtension);
    if (!file.Commit())
        return false;
    fileName_ = path;
    std::fill(changed_.begin(), changed_.end(), 0);
    cleanStep_ = static_cast<int64_t>(steps_.size());
    return true;
}

void HexDocument::Replace(int64_t offset, int64_t count, std::span<const uint8_t> bytes,
                          const std::string& text, bool merge) {
    offset = std::clamp<int64_t>(offset, 0, Size());
    count = std::clamp<int64_t>(count, 0, Size() - offset);
    const auto removeCount = static_cast<size_t>(count);
    const bool joins = merge && !steps_.empty() &&
                       cleanStep_ != static_cast<int64_t>(steps_.size()) &&
                       steps_.back().offset == offset && steps_.back().insertedCount == 1 &&
                       count == 1 && bytes.size() == 1;
    if (!joins) {
        if (cleanStep_ > static_cast<int64_t>(steps_.size()))
            cleanStep_ = -1;
        Step step;
        step.text = text;
        step.offset = offset;
        step.removed.assign(data_.begin() + offset, data_.begin() + offset + count);
        step.removedChanged.assign(changed_.begin() + offset, changed_.begin() + offset + count);
        step.insertedCount = static_cast<int64_t>(bytes.size());
        steps_.push_back(std::move(step));
    }
    if (removeCount == bytes.size()) {
        std::copy(bytes.begin(), bytes.end(), data_.begin() + offset);
    } else {
        data_.erase(data_.begin() + offset, data_.begin() + offset + count);
        data_.insert(data_.begin() + offset, bytes.begin(), bytes.end());
        changed_.erase(changed_.begin() + offset, changed_.begin() + offset + count);
        changed_.insert(changed_.begin() + offset, bytes.size(), 0);
    }
    std::fill_n(changed_.begin() + offset, bytes.size(), uint8_t{1});
}

std::vector<uint8_t> HexDocument::BufferFromFile(int64_t start, int64_t count) const {
    start = std::clamp<int64_t>(start, 0, Size());
    count = std::clamp<int64_t>(count, 0, Size() - start);
    return {data_.begin() + start, data_.begin() + start + count};
}

int64_t HexDocument::Undo() {
    if (steps_.empty())
        return -1;
    Step step = std::move(steps_.back());
    steps_.pop_back();
    const int64_t offset = step.offset;
    data_.erase(data_.begin() + offset, data_.begin() + offset + step.insertedCount);
    data_.insert(data_.begin() + offset, step.removed.begin(), step.removed.end());
    changed_.erase(changed_.begin() + offset, changed_.begin() + offset + step.insertedCount);
    changed_.insert(changed_.begin() + offset, step.removedChanged.begin(),
                    step.removedChanged.end());
    return offset;
}
