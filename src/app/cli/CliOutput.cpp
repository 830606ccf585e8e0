#include "app/cli/CliOutput.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string FolderOf(const std::string& path) {
    const fs::path folder = fs::path(path).parent_path();
    return folder.empty() ? std::string(".") : folder.string();
}

// The mode a file made by fopen would get.
mode_t NewFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

bool SyncFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    return ::close(fd) == 0 && ok;
}

// The rename itself is made durable on a best-effort basis: some file
// systems refuse fsync on a folder.
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

CliOutputFiles::~CliOutputFiles() {
    for (const Pending& p : pending_)
        ::unlink(p.temp.c_str());
}

std::string CliOutputFiles::Problem(const std::string& path) const {
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (!fs::exists(status))
        return fs::is_symlink(fs::symlink_status(path, ec))
                   ? path + " is a dangling symbolic link; not written"
                   : "";
    if (fs::is_directory(status))
        return path + " is a folder, not a file.";
    if (!fs::is_regular_file(status))
        return path + " is not a regular file; not written";
    if (!force_)
        return "File " + path + " exists; not overwritten (--force replaces it)";
    return "";
}

std::string CliOutputFiles::Begin(const std::string& path, std::string& error) {
    const std::string folder = FolderOf(path);
    // Named after the target, cut short so that a long name still leaves
    // room for the dot and the random part.
    std::string temp =
        folder + "/." + fs::path(path).filename().string().substr(0, 200) + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        error = "cannot write in " + folder + ": " + std::strerror(errno);
        return "";
    }
    ::close(fd);
    pending_.push_back({path, temp});
    return temp;
}

bool CliOutputFiles::Commit(std::string& error) {
    for (const Pending& p : pending_) {
        // A replaced file keeps its permissions; a new one gets the usual
        // ones. Set here, since a writer may have put its own file in place.
        struct stat old {};
        const mode_t mode =
            force_ && ::stat(p.target.c_str(), &old) == 0 ? (old.st_mode & 07777) : NewFileMode();
        if (::chmod(p.temp.c_str(), mode) != 0 || !SyncFile(p.temp)) {
            error = "cannot write " + p.target + ": " + std::strerror(errno);
            return false;
        }
    }
    while (!pending_.empty()) {
        const Pending p = pending_.front();
        const bool moved = force_ ? std::rename(p.temp.c_str(), p.target.c_str()) == 0
                                  : RenameNoReplace(p.temp, p.target);
        if (!moved) {
            error = errno == EEXIST ? "File " + p.target + " exists; not overwritten"
                                    : "cannot write " + p.target + ": " + std::strerror(errno);
            return false;
        }
        pending_.erase(pending_.begin());
        SyncFolder(FolderOf(p.target));
    }
    return true;
}
