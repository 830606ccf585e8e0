#pragma once

#include "support/TestFiles.h"

#include "tools/disasm/Disasm86k.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <unistd.h>
#include <vector>

// A fresh temporary folder that also writes test files into itself.
class DisasmTempDir : public porvane_test::TempDir {
  public:
    std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) const {
        const std::string file = (Path() / name).string();
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        return file;
    }
};

// Every line NextLine hands out, until the first "".
inline std::vector<std::string> ListAll(Disasm86k& reader, size_t limit = 1u << 20) {
    std::vector<std::string> lines;
    std::string line;
    while (lines.size() < limit && reader.NextLine(line))
        lines.push_back(line);
    return lines;
}
