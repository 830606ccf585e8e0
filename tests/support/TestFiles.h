#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace porvane_test {

// A fresh folder under /tmp, removed with everything in it.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    std::string File(const std::string& name) const { return (path_ / name).string(); }

  private:
    std::filesystem::path path_;
};

// While it lives, files written by this process stop growing at `bytes`:
// a write past it fails with EFBIG (SIGXFSZ is ignored meanwhile), as on a
// full disk.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(unsigned long bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

  private:
    unsigned long oldSoft_ = 0;
    void (*oldHandler_)(int) = nullptr;
};

// A whole file, or nothing when it cannot be read.
std::vector<uint8_t> ReadFileBytes(const std::filesystem::path& path);
std::string ReadFileText(const std::filesystem::path& path);
// Truncates the file (made when missing) and writes bytes.
void WriteFileBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);

// Exit code of a child that could not give up root.
constexpr int kCannotDropRoot = 77;

// Runs body in a child process that first gives up root for user nobody,
// since root reads and writes whatever a file's mode says. Returns the
// child's exit code: body's result, or kCannotDropRoot.
int RunAsNobody(const std::function<int()>& body);

// Whether steps as another user are real: the tests run as root.
bool CanActAsAnotherUser();
// Anyone may add, replace and remove files in folder (0777, no sticky bit),
// as in a shared group folder.
void ShareFolder(const std::filesystem::path& folder);

} // namespace porvane_test
