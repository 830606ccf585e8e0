#include "base/AtomicFile.h"

#include "base/SafeFile.h"

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

AtomicFile::AtomicFile(const std::string& target, bool refuseLink)
    : target_(target), refuseLink_(refuseLink) {
    // Hidden, named after the target, cut short so that a long name still
    // leaves room for the random part.
    std::string name = fs::path(target).filename().string().substr(0, 200);
    std::string pattern = FolderOf(target);
    pattern += "/.";
    pattern += name;
    pattern += ".XXXXXX";
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) {
        Fail(errno);
        return;
    }
    fd_ = fd;
    path_ = pattern;
}

AtomicFile::~AtomicFile() {
    if (!committed_ && !path_.empty())
        ::unlink(path_.c_str());
    if (fd_ >= 0)
        ::close(fd_);
}

bool AtomicFile::Fail(int error) {
    errorNumber_ = error;
    error_ = FileErrorText(error);
    return false;
}

bool AtomicFile::StillOurs() const {
    struct stat named {};
    struct stat open {};
    return ::lstat(path_.c_str(), &named) == 0 && S_ISREG(named.st_mode) &&
           ::fstat(fd_, &open) == 0 && named.st_dev == open.st_dev && named.st_ino == open.st_ino;
}

bool AtomicFile::Write(const void* data, size_t size) {
    if (path_.empty() || committed_)
        return false;
    flushed_ = false;
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
    // A replaced file of this user keeps its permissions; a new one, or one
    // of another user, gets the usual ones rather than the temporary's
    // private 0600 (and never another user's 0666).
    struct stat old {};
    const bool keep =
        ::stat(target_.c_str(), &old) == 0 && S_ISREG(old.st_mode) && old.st_uid == ::geteuid();
    const mode_t mode = keep ? (old.st_mode & 07777) : NewFileMode();
    if (::fsync(fd_) != 0)
        return Fail(errno);
    if (::fchmod(fd_, mode) != 0)
        return Fail(errno);
    flushed_ = true;
    return true;
}

bool AtomicFile::Commit(bool replace) {
    if (!Flush())
        return false;
    struct stat target {};
    if (refuseLink_ && ::lstat(target_.c_str(), &target) == 0 && S_ISLNK(target.st_mode))
        return Fail(ELOOP);
    // Whatever took the temporary's name meanwhile is not moved into place.
    if (!StillOurs())
        return Fail(ESTALE);
    const bool moved =
        replace ? ::rename(path_.c_str(), target_.c_str()) == 0 : RenameNoReplace(path_, target_);
    if (!moved)
        return Fail(errno);
    committed_ = true;
    ::close(fd_);
    fd_ = -1;
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
