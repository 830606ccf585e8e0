// Listing speed of the 86K disassembler over a whole 128 KB card's worth of
// code, the largest file the code window is ever given.
#include "tools/disasm/Disasm86k.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace {

class BenchFile {
  public:
    explicit BenchFile(size_t size) {
        folder_ = std::filesystem::temp_directory_path() /
                  ("porvane-bench-disasm-" + std::to_string(::getpid()));
        std::filesystem::create_directories(folder_);
        path_ = (folder_ / "code.bin").string();
        std::vector<char> bytes(size);
        uint32_t seed = 12345;
        for (char& byte : bytes) {
            seed = seed * 1103515245u + 12345u;
            byte = static_cast<char>(seed >> 16);
        }
        std::ofstream(path_, std::ios::binary)
            .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    ~BenchFile() {
        std::error_code error;
        std::filesystem::remove_all(folder_, error);
    }
    const std::string& Path() const { return path_; }

  private:
    std::filesystem::path folder_;
    std::string path_;
};

void BM_DisassembleCard(benchmark::State& state) {
    const BenchFile file(128 * 1024);
    auto reader = std::make_unique<Disasm86k>();
    std::string line;
    int64_t lines = 0;
    for (auto _ : state) {
        if (!reader->Open(file.Path())) {
            state.SkipWithError("cannot open the generated file");
            break;
        }
        while (reader->NextLine(line)) {
            benchmark::DoNotOptimize(line.data());
            ++lines;
        }
        reader->Close();
    }
    state.counters["lines_per_s"] =
        benchmark::Counter(static_cast<double>(lines), benchmark::Counter::kIsRate);
    state.SetBytesProcessed(state.iterations() * 128 * 1024);
}

} // namespace

BENCHMARK(BM_DisassembleCard)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
