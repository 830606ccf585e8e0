// Soak of the history of card changes: random imports, deletes, edits,
// formats, undos, redos and recoveries on one card image, with another
// program writing the card behind the history's back, damage to the card's
// system blocks and damage to the history files.
//
// After every step the card is read by a reader of its own (this file's, not
// the program's) and held against what came before:
//   - a saver the step did not touch keeps its bytes ("untouched changed");
//   - a saver an undo, redo or recovery brings back holds bytes that saver
//     (the same 32 entry bytes) had before ("wrong bytes");
//   - a refused undo, redo or recovery leaves the card byte for byte as it
//     was ("refused wrote");
//   - an undo, redo or recovery that went through on a card that checked
//     clean leaves it clean ("made dirty").
// Each must stay 0.
//
//   soak_journal               5000 steps
//   soak_journal --short       600 steps (this is what CI runs)
//   soak_journal --steps N --seed S
#include "card/CardCheck.h"
#include "card/CardJournal.h"
#include "card/ImageLock.h"
#include "card/JournalCommands.h"
#include "card/LoadVolume.h"
#include "card/ReplaceSaver.h"
#include "card/TransferEngine.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;
constexpr int kBlock = CardVolume::kBlockSize;

Bytes ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const fs::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

// Block b of an image in natural order.
void Natural(const Bytes& card, int b, uint8_t* out) {
    for (int i = 0; i < kBlock; ++i)
        out[i] = card[static_cast<size_t>(b) * kBlock + (i & ~3) + 3 - (i & 3)];
}

// The savers of an image as this soak reads it: the entry's 32 bytes, and the
// bytes of its chain as the table links it (at most its size blocks).
std::map<std::string, std::string> Savers(const Bytes& card) {
    std::map<std::string, std::string> savers;
    if (card.size() != static_cast<size_t>(CardVolume::kCardBytes))
        return savers;
    uint8_t table[kBlock];
    Natural(card, 254, table);
    auto next = [&](int b) { return table[2 * b] | table[2 * b + 1] << 8; };
    for (int d = 253; d >= 241; --d) {
        uint8_t dir[kBlock];
        Natural(card, d, dir);
        for (int j = 0; j < 16; ++j) {
            const uint8_t* e = dir + 32 * j;
            const bool game = e[0] == 0xCC && e[3] == 0;
            if ((e[2] == 0 && e[0] != 0xCC) || e[24] == 0)
                continue;
            std::string data;
            int b = game ? 0 : e[2];
            std::set<int> seen;
            for (int n = 0; n < e[24] && b < 241 && seen.insert(b).second; ++n) {
                data.append(reinterpret_cast<const char*>(card.data()) + b * kBlock, kBlock);
                const int link = next(b);
                if (link == 0xFFFA || link == 0xFFFC)
                    break;
                b = link & 0xFF;
            }
            savers[std::string(reinterpret_cast<const char*>(e), 32)] = data;
        }
    }
    return savers;
}

// "S17", "O4": a saver name, numbered.
std::string Numbered(char letter, int n) {
    char text[16];
    std::snprintf(text, sizeof text, "%c%d", letter, n % 100000);
    return text;
}

std::string NameOf(const std::string& raw) {
    std::string name = raw.substr(4, 12);
    while (!name.empty() && (name.back() == ' ' || name.back() == '\0'))
        name.pop_back();
    return name;
}

struct Counts {
    int steps = 0;
    std::map<std::string, int> done;
    std::map<std::string, int> refused;
    int untouchedChanged = 0;
    int wrongBytes = 0;
    // An import, delete or edit that changed or lost a saver it was not
    // about: on a damaged card a listing can be made of saver data. Not the
    // history's doing; told apart.
    int otherCommandHarm = 0;
    int refusedWrote = 0;
    int madeDirty = 0;
};

class Soak {
  public:
    Soak(const fs::path& dir, uint32_t seed) : dir_(dir), rng_(seed), journal_(dir.string()) {
        card_ = dir_ / "card.dcm";
        vol_.SetPlace(CardPlace::Image);
        vol_.OpenImage(card_.string());
        vol_.Store().SetRecorder(&journal_);
        vol_.FormatVolume(200);
    }

    void Step(Counts& counts) {
        ++counts.steps;
        const Bytes before = ReadAll(card_);
        const auto saversBefore = Savers(before);
        Remember(saversBefore);
        CardCheckReport check;
        Reload();
        const bool cleanBefore = CheckCard(vol_, check) && check.Clean();
        Reload();

        std::string op;
        bool done = false;
        std::set<std::string> touched; // names the step may change
        bool history = false;          // an undo, redo or recovery
        const int pick = static_cast<int>(rng_() % 100);
        const int entry = vol_.ListedCount() > 0 ? vol_.ListMap()[rng_() % vol_.ListedCount()] : -1;
        if (pick < 20) {
            op = "import";
            const std::string name = Numbered('S', next_++);
            touched.insert(name);
            done = Import(name, 1 + static_cast<int>(rng_() % 12), vol_);
        } else if (pick < 32 && entry >= 0) {
            op = "delete";
            touched.insert(vol_.Entries()[entry].TrimmedName());
            done = DeleteSaver(vol_, entry);
        } else if (pick < 38 && entry >= 0) {
            op = "edit";
            touched.insert(vol_.Entries()[entry].TrimmedName());
            done = Edit(entry);
        } else if (pick < 41) {
            op = "format";
            for (const auto& [raw, data] : saversBefore)
                touched.insert(NameOf(raw));
            const uint8_t sizes[3] = {200, 240, 241};
            done = vol_.FormatVolume(sizes[rng_() % 3]);
        } else if (pick < 60) {
            op = lastWasUndo_ ? "redo" : "undo";
            history = true;
            done = UndoLastChange(vol_, journal_).done;
        } else if (pick < 72) {
            op = "recover";
            history = true;
            std::string name;
            if (rng_() % 2 == 0 && !gone_.empty())
                name = *std::next(gone_.begin(), static_cast<long>(rng_() % gone_.size()));
            done = RecoverSavers(vol_, journal_, name).outcome.done;
        } else if (pick < 82) {
            op = "other program";
            OtherProgram(touched);
            done = true;
        } else if (pick < 90) {
            op = "card damage";
            DamageCard();
            for (const auto& [raw, data] : saversBefore)
                touched.insert(NameOf(raw));
            done = true;
        } else if (pick < 97) {
            op = "history damage";
            DamageHistory();
            done = true;
        } else {
            op = "repair";
            CardRepairReport report;
            Reload();
            for (const auto& [raw, data] : saversBefore)
                touched.insert(NameOf(raw));
            done = RepairCard(vol_, report);
        }
        lastWasUndo_ = (op == "undo" || op == "redo") && done ? !lastWasUndo_ : false;
        (done ? counts.done : counts.refused)[op]++;

        const Bytes after = ReadAll(card_);
        const auto saversAfter = Savers(after);
        if (history && !done && after != before)
            ++counts.refusedWrote;
        for (const auto& [raw, data] : saversAfter) {
            const auto was = saversBefore.find(raw);
            const bool mayChange = touched.count(NameOf(raw)) != 0;
            if (was != saversBefore.end()) {
                if (was->second == data || mayChange)
                    continue;
                // An undo may put back an edit's old bytes: bytes the saver had.
                if (history && Seen(raw, data))
                    continue;
                ++(history ? counts.untouchedChanged : counts.otherCommandHarm);
                Report(op, cleanBefore ? "untouched changed" : "untouched changed, card damaged",
                       raw);
            } else if (history && !Seen(raw, data)) {
                ++counts.wrongBytes;
                Report(op, "wrong bytes", raw);
            }
        }
        for (const auto& [raw, data] : saversBefore) {
            if (saversAfter.count(raw))
                continue;
            gone_.insert(NameOf(raw));
            // An undo takes off what the change it undoes put on.
            if (!history && touched.count(NameOf(raw)) == 0) {
                ++counts.otherCommandHarm;
                Report(op, cleanBefore ? "untouched lost" : "untouched lost, card damaged", raw);
            }
        }
        if (history && done && cleanBefore) {
            Reload();
            if (!CheckCard(vol_, check) || !check.Clean()) {
                ++counts.madeDirty;
                Report(op, "made dirty", check.problems.empty() ? "" : check.problems[0].text);
            }
        }
        Remember(saversAfter);
        Reload();
        // One command ends: the image's lock goes, as a program's would.
        UnlockImage(vol_);
    }

  private:
    void Reload() { LoadVolume(vol_); }

    void Remember(const std::map<std::string, std::string>& savers) {
        for (const auto& [raw, data] : savers)
            seen_[raw].insert(std::hash<std::string>()(data));
    }
    bool Seen(const std::string& raw, const std::string& data) const {
        const auto it = seen_.find(raw);
        return it != seen_.end() && it->second.count(std::hash<std::string>()(data)) != 0;
    }

    void Report(const std::string& op, const char* what, const std::string& about) {
        if (reports_++ < 20)
            std::fprintf(stderr, "  %s: %s (%s)\n", op.c_str(), what,
                         NameOf(about + std::string(32, ' ')).c_str());
    }

    bool Import(const std::string& name, int size, CardVolume& volume) {
        Bytes dci(32 + static_cast<size_t>(kBlock) * size);
        dci[0] = SaverEntry::kTypeData;
        dci[2] = 199;
        std::memset(dci.data() + 4, ' ', 12);
        std::memcpy(dci.data() + 4, name.data(), std::min<size_t>(name.size(), 12));
        dci[16] = 0x20;
        dci[17] = static_cast<uint8_t>(rng_());
        dci[24] = static_cast<uint8_t>(size);
        for (size_t i = 32; i < dci.size(); ++i)
            dci[i] = static_cast<uint8_t>(rng_());
        dci[32 + 0x40] = 0; // few icon frames, as a real header has
        const fs::path file = dir_ / "in.dci";
        WriteAll(file, dci);
        LoadVolume(volume);
        return ReplaceSaverByImport(file.string(), volume, -1).Done();
    }

    bool Edit(int entry) {
        const fs::path work = dir_ / "work";
        if (!ExportSaverToWorkFile(work.string(), entry, vol_))
            return false;
        Bytes bytes = ReadAll(work);
        if (bytes.empty())
            return false;
        bytes[rng_() % bytes.size()] ^= static_cast<uint8_t>(1 + rng_() % 255);
        WriteAll(work, bytes);
        return ImportWorkFileToSaver(work.string(), entry, vol_);
    }

    // Another program, which keeps no history: imports, deletes, or writes a
    // block where it likes.
    void OtherProgram(std::set<std::string>& touched) {
        UnlockImage(vol_);
        CardVolume other;
        other.SetPlace(CardPlace::Image);
        other.OpenImage(card_.string());
        LoadVolume(other);
        const int kind = static_cast<int>(rng_() % 3);
        if (kind == 0) {
            const std::string name = Numbered('O', next_++);
            touched.insert(name);
            Import(name, 1 + static_cast<int>(rng_() % 6), other);
        } else if (kind == 1 && other.ListedCount() > 0) {
            const int e = other.ListMap()[rng_() % other.ListedCount()];
            touched.insert(other.Entries()[e].TrimmedName());
            DeleteSaver(other, e);
        } else {
            // A data block, whoever's it is.
            const int b = static_cast<int>(rng_() % 200);
            uint8_t block[kBlock];
            for (uint8_t& x : block)
                x = static_cast<uint8_t>(rng_());
            other.WriteRawBlock(other.Device(), static_cast<uint8_t>(b), block);
            for (const auto& [raw, data] : Savers(ReadAll(card_)))
                touched.insert(NameOf(raw)); // whichever saver held it
        }
    }

    // A few bytes of the table, the directory or the root changed.
    void DamageCard() {
        UnlockImage(vol_);
        Bytes card = ReadAll(card_);
        const int flips = 1 + static_cast<int>(rng_() % 3);
        for (int i = 0; i < flips; ++i) {
            const size_t at = 241 * kBlock + rng_() % (15 * kBlock);
            card[at] ^= static_cast<uint8_t>(1u << (rng_() % 8));
        }
        WriteAll(card_, card);
    }

    // A history file with a byte changed, cut short, or gone.
    void DamageHistory() {
        std::vector<fs::path> files;
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(journal_.Folder(), ec))
            files.push_back(e.path());
        if (files.empty())
            return;
        const fs::path file = files[rng_() % files.size()];
        Bytes bytes = ReadAll(file);
        const int kind = static_cast<int>(rng_() % 4);
        if (bytes.empty() || kind == 3) {
            fs::remove(file, ec);
            return;
        }
        if (kind == 2)
            bytes.resize(rng_() % bytes.size());
        else
            bytes[rng_() % bytes.size()] ^= static_cast<uint8_t>(1u << (rng_() % 8));
        WriteAll(file, bytes);
    }

    fs::path dir_;
    fs::path card_;
    std::mt19937 rng_;
    CardJournal journal_;
    CardVolume vol_;
    std::map<std::string, std::set<size_t>> seen_;
    std::set<std::string> gone_;
    int next_ = 0;
    int reports_ = 0;
    bool lastWasUndo_ = false;
};

} // namespace

int main(int argc, char** argv) {
    int steps = 5000;
    uint32_t seed = 1;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--short") {
            steps = 600;
        } else if (arg == "--steps" && i + 1 < argc) {
            steps = std::atoi(argv[++i]);
        } else if (arg == "--seed" && i + 1 < argc) {
            seed = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 10));
        } else {
            std::fprintf(stderr, "usage: soak_journal [--short] [--steps N] [--seed S]\n");
            return 2;
        }
    }
    // In memory where the system has a folder there: the steps are many, and
    // every history file is synced to the disk.
    std::error_code ec;
    const fs::path base =
        fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm") : fs::temp_directory_path();
    const fs::path dir = base / ("porvane-soak-journal-" + std::to_string(std::random_device()()));
    fs::create_directories(dir);
    Counts counts;
    {
        auto soak = std::make_unique<Soak>(dir, seed);
        for (int i = 0; i < steps; ++i)
            soak->Step(counts);
    }
    fs::remove_all(dir, ec);

    std::printf("%d steps, seed %u\n", counts.steps, seed);
    std::set<std::string> ops;
    for (const auto& [op, n] : counts.done)
        ops.insert(op);
    for (const auto& [op, n] : counts.refused)
        ops.insert(op);
    for (const std::string& op : ops)
        std::printf("  %-15s %5d done  %5d refused or failed\n", op.c_str(), counts.done[op],
                    counts.refused[op]);
    std::printf("untouched changed %d, wrong bytes %d, refused wrote %d, made dirty %d\n",
                counts.untouchedChanged, counts.wrongBytes, counts.refusedWrote, counts.madeDirty);
    std::printf("(imports, deletes and edits that changed or lost another saver: %d)\n",
                counts.otherCommandHarm);
    return counts.untouchedChanged + counts.wrongBytes + counts.refusedWrote + counts.madeDirty == 0
               ? 0
               : 1;
}
