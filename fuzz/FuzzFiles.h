#pragma once

// Files for the fuzz targets. Every reader under test takes a file name, so
// each input is put in an anonymous memory file (memfd) and handed over as
// /proc/self/fd/N: nothing is written to disk and nothing is left behind,
// whatever becomes of the process.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fuzz {

class MemFile {
  public:
    explicit MemFile(const char* name);
    ~MemFile();
    MemFile(const MemFile&) = delete;
    MemFile& operator=(const MemFile&) = delete;

    // Replaces the file's bytes.
    void Set(const uint8_t* data, size_t size);
    void Set(const std::vector<uint8_t>& bytes) { Set(bytes.data(), bytes.size()); }
    std::vector<uint8_t> Get() const;
    const std::string& Path() const { return path_; }

  private:
    int fd_ = -1;
    std::string path_;
};

// A private folder under $TMPDIR (or /tmp), for the readers that want a
// folder; removed with its files at exit.
const std::string& PrivateFolder();

} // namespace fuzz
