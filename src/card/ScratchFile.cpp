#include "card/ScratchFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string Reason(int error) {
    return std::strerror(error);
}

} // namespace

ScratchFile::ScratchFile(const std::string& target) : target_(target) {
    const fs::path t(target);
    const fs::path folder = t.has_parent_path() ? t.parent_path() : fs::path(".");
    // Hidden, and in the target's own folder so that the rename stays on one
    // file system.
    // Appended rather than "." + ...: g++ 12 at -O2 warns falsely
    // (-Wrestrict) on a literal put before a temporary string.
    std::string hidden = ".";
    hidden += t.filename().string();
    hidden += ".XXXXXX";
    std::string pattern = (folder / hidden).string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = ::mkstemp(name.data());
    if (fd < 0) {
        error_ = Reason(errno);
        return;
    }
    ::close(fd);
    path_ = name.data();
}

ScratchFile::~ScratchFile() {
    if (!committed_ && !path_.empty())
        ::unlink(path_.c_str());
}

bool ScratchFile::Commit() {
    if (path_.empty())
        return false;
    mode_t mode = 0;
    struct stat existing {};
    if (::stat(target_.c_str(), &existing) == 0) {
        mode = existing.st_mode & 07777;
    } else {
        // What open(2) would give a new file.
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    const int fd = ::open(path_.c_str(), O_RDONLY);
    if (fd < 0) {
        error_ = Reason(errno);
        return false;
    }
    const bool synced = ::fsync(fd) == 0;
    const int syncError = errno;
    ::close(fd);
    if (!synced) {
        error_ = Reason(syncError);
        return false;
    }
    if (::chmod(path_.c_str(), mode) != 0 || ::rename(path_.c_str(), target_.c_str()) != 0) {
        error_ = Reason(errno);
        return false;
    }
    committed_ = true;
    return true;
}

std::string ScratchNamingUi::Named(std::string text) const {
    const std::string& from = file_.Path();
    if (from.empty())
        return text;
    for (size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + file_.Target().size()))
        text.replace(at, from.size(), file_.Target());
    return text;
}
