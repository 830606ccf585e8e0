#pragma once

#include "tools/disasm/Disasm86k.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <unistd.h>
#include <vector>

// A fresh folder under the system's temporary folder, removed with its files.
class DisasmTempDir {
  public:
    DisasmTempDir() {
        static std::atomic<int> serial{0};
        path_ = std::filesystem::temp_directory_path() /
                ("porvane-disasm-" + std::to_string(::getpid()) + "-" + std::to_string(serial++));
        std::filesystem::create_directories(path_);
    }
    ~DisasmTempDir() {
        std::error_code error;
        std::filesystem::remove_all(path_, error);
    }
    DisasmTempDir(const DisasmTempDir&) = delete;
    DisasmTempDir& operator=(const DisasmTempDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }

    std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) const {
        const std::string file = (path_ / name).string();
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        return file;
    }

  private:
    std::filesystem::path path_;
};

// Every line NextLine hands out, until the first "".
inline std::vector<std::string> ListAll(Disasm86k& reader, size_t limit = 1u << 20) {
    std::vector<std::string> lines;
    std::string line;
    while (lines.size() < limit && reader.NextLine(line))
        lines.push_back(line);
    return lines;
}
