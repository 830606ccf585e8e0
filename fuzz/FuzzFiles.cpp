#include "FuzzFiles.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sys/mman.h>
#include <system_error>
#include <unistd.h>

namespace fuzz {

MemFile::MemFile(const char* name) {
    fd_ = ::memfd_create(name, MFD_CLOEXEC);
    if (fd_ < 0) {
        std::perror("memfd_create");
        std::abort();
    }
    path_ = "/proc/self/fd/" + std::to_string(fd_);
}

MemFile::~MemFile() {
    ::close(fd_);
}

void MemFile::Set(const uint8_t* data, size_t size) {
    if (::ftruncate(fd_, 0) != 0)
        std::abort();
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pwrite(fd_, data + done, size - done, static_cast<off_t>(done));
        if (n <= 0)
            std::abort();
        done += static_cast<size_t>(n);
    }
}

std::vector<uint8_t> MemFile::Get() const {
    std::vector<uint8_t> bytes;
    uint8_t buffer[65536];
    off_t at = 0;
    for (;;) {
        const ssize_t n = ::pread(fd_, buffer, sizeof buffer, at);
        if (n <= 0)
            break;
        bytes.insert(bytes.end(), buffer, buffer + n);
        at += n;
    }
    return bytes;
}

namespace {

std::string g_folder;

void RemoveFolder() {
    std::error_code ec;
    if (!g_folder.empty())
        std::filesystem::remove_all(g_folder, ec);
}

} // namespace

const std::string& PrivateFolder() {
    if (g_folder.empty()) {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/porvane-fuzz-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::perror("mkdtemp");
            std::abort();
        }
        g_folder = pattern;
        std::atexit(RemoveFolder);
    }
    return g_folder;
}

} // namespace fuzz
