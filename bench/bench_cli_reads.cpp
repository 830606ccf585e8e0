// Block reads of porvane-cli's card commands over the socket box
// (porvane-linkbox --stats counts them), verified: slot 1 holds 20 savers of
// 3 blocks with a one-frame icon each, slot 2 a formatted empty card. Each
// round runs one command on fresh cards and reports the box's whole-block
// reads, the distinct blocks among them and its commits.
#include "BenchSaverDci.h"
#include "card/CardListing.h"
#include "card/CardVolume.h"
#include "card/DciFile.h"
#include "card/LoadVolume.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

void WriteDci(const fs::path& path, const std::string& name12, int seed) {
    const std::vector<char> bytes = BenchSaverDci(name12, 3, 1, seed);
    std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

struct Folder {
    Folder() {
        dir = fs::temp_directory_path() /
              ("porvane-bench-cli-reads-" + std::to_string(std::random_device{}()));
        fs::create_directories(dir / "emu");
        for (const char* slot : {"slot1.dcm", "slot2.dcm"}) {
            auto vol = std::make_unique<CardVolume>();
            vol->SetPlace(CardPlace::Image);
            vol->OpenImage((dir / "emu" / slot).string());
            vol->FormatVolume(200);
            LoadVolume(*vol);
            for (int i = 0; i < 20 && slot[4] == '1'; ++i) {
                WriteDci(dir / "in.dci", "SAVER" + std::to_string(100 + i) + "    ", i);
                ImportDci((dir / "in.dci").string(), *vol);
                ListSavers(*vol);
            }
            vol->CloseImage();
        }
        WriteDci(dir / "in.dci", "SAVER200    ", 99);
    }
    ~Folder() {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    // porvane-cli ARGS over the emulated box behind the socket; the box's
    // tally afterwards (empty when the command failed).
    std::map<std::string, double> Run(const std::string& args, const std::string& before = "") {
        const std::string bin = PORVANE_BIN_DIR;
        const std::string cd = "cd '" + dir.string() + "' && ";
        if (!before.empty() && std::system((cd + "'" + bin + "/porvane-cli' --link emulator:emu " +
                                            before + " >/dev/null 2>&1")
                                               .c_str()) != 0)
            return {};
        fs::remove(dir / "stats.txt");
        const fs::path socket = dir / "box.sock";
        fs::remove(socket);
        std::system((cd + "'" + bin + "/porvane-linkbox' --link emulator:emu --socket '" +
                     socket.string() + "' --once --stats stats.txt >/dev/null 2>&1 &")
                        .c_str());
        for (int i = 0; i < 500 && !fs::exists(socket); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const int rc = std::system((cd + "'" + bin + "/porvane-cli' --link socket:'" +
                                    socket.string() + "' " + args + " >/dev/null 2>&1")
                                       .c_str());
        std::map<std::string, double> tally;
        for (int i = 0; i < 500 && !fs::exists(dir / "stats.txt"); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::ifstream in(dir / "stats.txt");
        for (std::string line; std::getline(in, line);) {
            const size_t space = line.rfind(' ');
            tally[line.substr(0, space)] = std::stod(line.substr(space + 1));
        }
        return rc == 0 ? tally : std::map<std::string, double>{};
    }
    fs::path dir;
};

void Count(benchmark::State& state, const std::string& args, const std::string& before = "") {
    std::map<std::string, double> sum;
    int rounds = 0;
    for (auto _ : state) {
        Folder folder;
        const auto tally = folder.Run(args, before);
        if (tally.empty()) {
            state.SkipWithError("the command failed");
            return;
        }
        for (const auto& [key, value] : tally)
            sum[key] += value;
        ++rounds;
    }
    state.counters["block_reads"] = sum["block reads"] / rounds;
    state.counters["distinct_blocks"] = sum["distinct blocks read"] / rounds;
    state.counters["commits"] = sum["commits"] / rounds;
}

void BM_CliDelete(benchmark::State& s) {
    Count(s, "delete slot1 SAVER105");
}
void BM_CliCopy(benchmark::State& s) {
    Count(s, "copy slot1 SAVER105 slot2");
}
void BM_CliImport(benchmark::State& s) {
    Count(s, "import slot1 in.dci");
}
void BM_CliFormat(benchmark::State& s) {
    Count(s, "format slot1 200");
}
void BM_CliUndoDelete(benchmark::State& s) {
    Count(s, "undo slot1", "delete slot1 SAVER105");
}

} // namespace

BENCHMARK(BM_CliDelete)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_CliCopy)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_CliImport)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_CliFormat)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_CliUndoDelete)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK_MAIN();
