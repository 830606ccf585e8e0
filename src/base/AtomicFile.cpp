#include "base/AtomicFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string FolderOf(const std::string& path) {
    const fs::path folder = fs::path(path).parent_path();
    return folder.empty() ? std::string(".") : folder.string();
}

// What open(2) would give a new file.
mode_t NewFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// The rename is made durable on a best-effort basis: some file systems
// refuse fsync on a folder.
void SyncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        (void)::fsync(fd);
        ::close(fd);
    }
}

// rename() that fails with EEXIST instead of replacing a file.
bool RenameNoReplace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // File systems without RENAME_NOREPLACE: link() refuses an existing name too.
    if (::link(from.c_str(), to.c_str()) != 0)
        return false;
    ::unlink(from.c_str());
    return true;
}

} // namespace

AtomicFile::AtomicFile(const std::string& target) : target_(target) {
    // Hidden, named after the target, cut short so that a long name still
    // leaves room for the random part.
    std::string name = fs::path(target).filename().string().substr(0, 200);
    std::string pattern = FolderOf(target);
    pattern += "/.";
    pattern += name;
    pattern += ".XXXXXX";
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) {
        Fail(errno);
        return;
    }
    ::close(fd);
    path_ = pattern;
}

AtomicFile::~AtomicFile() {
    CloseWriter();
    if (!committed_ && !path_.empty())
        ::unlink(path_.c_str());
}

bool AtomicFile::Fail(int error) {
    errorNumber_ = error;
    error_ = std::strerror(error);
    return false;
}

bool AtomicFile::CloseWriter() {
    if (fd_ < 0)
        return true;
    const bool closed = ::close(fd_) == 0;
    fd_ = -1;
    return closed;
}

bool AtomicFile::Write(const void* data, size_t size) {
    if (path_.empty() || committed_)
        return false;
    flushed_ = false;
    if (fd_ < 0) {
        fd_ = ::open(path_.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
        if (fd_ < 0)
            return Fail(errno);
    }
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = ::write(fd_, bytes, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return Fail(written < 0 ? errno : ENOSPC);
        bytes += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

bool AtomicFile::Flush() {
    if (path_.empty() || committed_)
        return false;
    if (flushed_)
        return true;
    if (!CloseWriter())
        return Fail(errno);
    // A replaced file keeps its permissions; a new one gets the usual ones
    // rather than the temporary's private 0600.
    struct stat old {};
    const mode_t mode = ::stat(target_.c_str(), &old) == 0 ? (old.st_mode & 07777) : NewFileMode();
    const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return Fail(errno);
    const bool synced = ::fsync(fd) == 0;
    const int syncError = errno;
    ::close(fd);
    if (!synced)
        return Fail(syncError);
    if (::chmod(path_.c_str(), mode) != 0)
        return Fail(errno);
    flushed_ = true;
    return true;
}

bool AtomicFile::Commit(bool replace) {
    if (!Flush())
        return false;
    const bool moved =
        replace ? ::rename(path_.c_str(), target_.c_str()) == 0 : RenameNoReplace(path_, target_);
    if (!moved)
        return Fail(errno);
    committed_ = true;
    SyncFolder(FolderOf(target_));
    return true;
}

bool WriteFileAtomically(const std::string& path, const void* data, size_t size,
                         std::string* error) {
    AtomicFile file(path);
    if (file.Ready() && file.Write(data, size) && file.Commit())
        return true;
    if (error != nullptr)
        *error = "cannot write " + path + ": " + file.Error();
    return false;
}
