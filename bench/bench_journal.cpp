// The history of card changes under load: 1,000 random changes (imports,
// deletes, formats, tool write-backs, undos and recoveries) on one card image,
// with the size of the journal folder afterwards and the time per change.
#include "card/CardJournal.h"
#include "card/JournalCommands.h"
#include "card/LoadVolume.h"
#include "card/ReplaceSaver.h"
#include "card/TransferEngine.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

void WriteSaverFile(const std::string& path, int n, int blocks, std::mt19937& rng) {
    std::vector<uint8_t> bytes(32 + 512 * static_cast<size_t>(blocks));
    bytes[0] = SaverEntry::kTypeData;
    bytes[2] = 199;
    char name[13];
    std::snprintf(name, sizeof name, "S%-11d", n);
    std::memcpy(bytes.data() + 4, name, 12);
    bytes[24] = static_cast<uint8_t>(blocks);
    for (size_t i = 32; i < bytes.size(); ++i)
        bytes[i] = static_cast<uint8_t>(rng());
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

uintmax_t FolderBytes(const std::string& folder) {
    uintmax_t total = 0;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec))
        total += e.file_size(ec);
    return total;
}

void BM_ThousandRandomChanges(benchmark::State& state) {
    const fs::path dir = fs::temp_directory_path() /
                         ("porvane-bench-journal-" + std::to_string(std::random_device()()));
    fs::create_directories(dir);
    uintmax_t bytes = 0;
    size_t kept = 0;
    for (auto _ : state) {
        fs::remove_all(dir / "journal");
        auto vol = std::make_unique<CardVolume>();
        vol->SetPlace(CardPlace::Image);
        vol->OpenImage((dir / "card.dcm").string());
        vol->FormatVolume(200);
        CardJournal journal(dir.string());
        vol->Store().SetRecorder(&journal);
        LoadVolume(*vol);
        std::mt19937 rng(1234);
        const std::string file = (dir / "s.dci").string();
        const std::string work = (dir / "work").string();
        for (int op = 0; op < 1000; ++op) {
            const int pick = static_cast<int>(rng() % 100);
            int entry = -1;
            if (vol->ListedCount() > 0)
                entry = vol->ListMap()[rng() % vol->ListedCount()];
            if (pick < 40) {
                WriteSaverFile(file, op, 1 + static_cast<int>(rng() % 12), rng);
                ReplaceSaverByImport(file, *vol, -1);
            } else if (pick < 65 && entry >= 0) {
                DeleteSaver(*vol, entry);
            } else if (pick < 70) {
                vol->FormatVolume(200);
            } else if (pick < 80 && entry >= 0) {
                ExportSaverToWorkFile(work, entry, *vol);
                // An edit of one byte, as the hex editor makes.
                if (std::FILE* f = std::fopen(work.c_str(), "r+b")) {
                    std::fseek(f, 100, SEEK_SET);
                    std::fputc(static_cast<int>(rng() & 0xFF), f);
                    std::fclose(f);
                }
                ImportWorkFileToSaver(work, entry, *vol);
            } else if (pick < 92) {
                UndoLastChange(*vol, journal);
            } else {
                RecoverSavers(*vol, journal, "");
            }
            LoadVolume(*vol);
        }
        bytes = FolderBytes(journal.Folder());
        std::vector<JournalRecord> records;
        ReadHistory(*vol, journal, records);
        kept = records.size();
    }
    state.counters["journal_bytes"] = static_cast<double>(bytes);
    state.counters["changes_kept"] = static_cast<double>(kept);
    fs::remove_all(dir);
}
BENCHMARK(BM_ThousandRandomChanges)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
