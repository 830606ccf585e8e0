// Soak of the card transfers over a noisy emulated link box.
//
// The in-process box flips bits on the wire at a given rate, both ways. Over
// it the program repeats what users do with cards: whole-card saves to an
// image, uploads of an image, saver copies and deletions. Every operation is
// also run on clean image files, which gives the cards as they should be
// afterwards; each card is then compared with that block by block.
//
//   soak_transfers            the full table (a few minutes)
//   soak_transfers --short    a quick run at the two highest rates with
//                             verification on; fails if an operation reported
//                             success with wrong data (this is what CI runs)
//   soak_transfers --ops N --seed S   N operations per cell (default 40)
//   soak_transfers --rate R   only this flip rate
//
// Counted per cell: operations, those that failed (and said so), those that
// reported success with wrong data ("silent"), blocks left wrong after a
// successful operation, and blocks a failed operation left neither as they
// were nor as intended ("garbled").
#include "card/CardFeedback.h"
#include "card/CardImage.h"
#include "card/CardVolume.h"
#include "card/LoadVolume.h"
#include "card/SideFiles.h"
#include "card/TransferEngine.h"
#include "link/LinkPort.h"
#include "link/emu/EmulatorBackend.h"
#include "settings/Settings.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;
constexpr size_t kCard = CardVolume::kCardBytes;
constexpr int kBlock = CardVolume::kBlockSize;

Bytes ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

// Overwrites in place (same file), so that the emulated box's open handle
// sees the new bytes.
void WriteAll(const fs::path& path, const Bytes& bytes) {
    std::FILE* f = std::fopen(path.c_str(), fs::exists(path) ? "r+b" : "wb");
    if (f == nullptr)
        return;
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

int BlocksApart(const Bytes& a, const Bytes& b) {
    int n = 0;
    for (size_t at = 0; at + kBlock <= a.size() && at + kBlock <= b.size(); at += kBlock)
        n += std::memcmp(a.data() + at, b.data() + at, kBlock) != 0;
    return n;
}

// Blocks that are neither as before nor as intended.
int BlocksGarbled(const Bytes& now, const Bytes& before, const Bytes& intended) {
    int n = 0;
    for (size_t at = 0; at + kBlock <= now.size(); at += kBlock) {
        const bool asBefore = std::memcmp(now.data() + at, before.data() + at, kBlock) == 0;
        const bool asIntended = std::memcmp(now.data() + at, intended.data() + at, kBlock) == 0;
        n += !asBefore && !asIntended;
    }
    return n;
}

// A formatted card from the program's own template, with data savers of
// random bytes until about fill blocks are used.
Bytes MakeCard(const fs::path& folder, uint32_t seed, int fill) {
    const fs::path path = folder / ("make" + std::to_string(seed) + ".dcm");
    fs::copy_file(folder / "dpnw.dc", path, fs::copy_options::overwrite_existing);
    auto v = std::make_unique<CardVolume>();
    v->SetPlace(CardPlace::Image);
    v->OpenImage(path.string());
    LoadVolume(*v);
    std::mt19937 rng(seed);
    for (int used = 0, n = 0; used < fill; ++n) {
        const int size = 1 + static_cast<int>(rng() % 12);
        uint8_t first = 0;
        int entry = 0;
        if (!FindFreeEntry(*v, entry) || !AllocateChain(*v, size, false, first))
            break;
        uint8_t chain[256];
        const int count = v->CollectChain(first, chain, size);
        for (int k = 0; k < count; ++k) {
            uint8_t block[kBlock];
            for (uint8_t& b : block)
                b = static_cast<uint8_t>(rng());
            block[0x43] = 0;    // few icon frames, as a real header has
            if (k + 1 == count) // a real last block ends in padding
                std::memset(block + kBlock / 2, 0, kBlock / 2);
            v->WriteRawBlock(v->Device(), chain[k], block);
        }
        SaverEntry& e = v->Entries()[entry];
        std::memset(e.Raw, 0, sizeof e.Raw);
        e.Raw[SaverEntry::kTypeOffset] = SaverEntry::kTypeData;
        e.Raw[SaverEntry::kFirstBlockOffset] = first;
        char name[32];
        std::snprintf(name, sizeof name, "SOAK%04u%04d", seed % 10000, n % 10000);
        std::memcpy(e.Raw + SaverEntry::kNameOffset, name, SaverEntry::kNameLength);
        e.Raw[SaverEntry::kSizeOffset] = static_cast<uint8_t>(size);
        v->DecodeEntry(entry);
        used += size;
    }
    v->WriteFat();
    v->WriteDirectory();
    v->CloseImage();
    Bytes bytes = ReadAll(path);
    fs::remove(path);
    return bytes;
}

struct Cell {
    int ops = 0;
    int failed = 0;
    int silent = 0;
    int wrongBlocks = 0;
    int garbled = 0;
    double seconds = 0;
};

// One mode of the box with its cards, their intended contents and an image.
class Rig {
  public:
    Rig(const fs::path& folder, bool direct, bool verify, const Bytes& card1, const Bytes& card2)
        : folder_(folder), direct_(direct) {
        settings_.VerifyTransfers = verify ? 1 : 0;
        settings_.AutoRefresh = 0;
        cards_[0] = direct ? folder / "paged.bin" : folder / "slot1.dcm";
        cards_[1] = direct ? folder / "image.dcm" : folder / "slot2.dcm";
        WriteAll(cards_[0], card1);
        WriteAll(cards_[1], card2);
        std::unique_ptr<BoxDevice> device;
        if (direct)
            device = std::make_unique<PagedDevice>(cards_[0].string());
        else
            device = std::make_unique<TwoSlotDevice>(folder.string());
        auto backend = std::make_unique<EmulatorBackend>(std::move(device));
        box_ = &backend->Box();
        link_ = std::make_unique<LinkPort>(std::move(backend), nullptr);
        link_->ShortDelay = link_->LongDelay = link_->LongestDelay = 0;
        link_->DetectDevice();
        for (int i = 0; i < 2; ++i) {
            volumes_[i] = std::make_unique<CardVolume>();
            volumes_[i]->Store().SetConfig(&settings_);
            volumes_[i]->Store().SetFeedback(&ui_);
            const bool image = direct && i == 1;
            volumes_[i]->SetPlace(image ? CardPlace::Image : kCardPlaces[static_cast<size_t>(i)]);
            volumes_[i]->Store().SetLink(image ? nullptr : link_.get());
            if (image)
                volumes_[i]->OpenImage(cards_[1].string());
        }
        intended_[0] = card1;
        intended_[1] = card2;
    }

    LinkBox& Box() { return *box_; }

    // Runs one operation chosen by rng; counts into cell.
    void Step(std::mt19937& rng, const std::vector<Bytes>& uploads, Cell& cell) {
        const Bytes before[2] = {intended_[0], intended_[1]};
        Bytes intended[2] = {before[0], before[1]};
        bool ok = false;
        const int kind = static_cast<int>(rng() % 4);
        lastKind_ = kind;
        const int card = direct_ ? 0 : static_cast<int>(rng() % 2); // a card on the link
        if (kind == 0) {
            // Whole-card save; what the file should hold is the card.
            const fs::path out = folder_ / "saved.dcm";
            ok = SaveCardImage(out.string(), *volumes_[card]);
            Bytes saved = ReadAll(out);
            saved.resize(kCard);
            Count(cell, ok, {saved, ReadCard(0), ReadCard(1)}, {before[card], before[0], before[1]},
                  {before[card], before[0], before[1]});
        } else if (kind == 1) {
            const Bytes& image = uploads[rng() % uploads.size()];
            const fs::path in = folder_ / "upload.dcm";
            WriteAll(in, image);
            ok = UploadCardImage(in.string(), *volumes_[card]);
            intended[card] = image;
        } else {
            // Copy a saver one way, or delete one when the target is full.
            const int from = static_cast<int>(rng() % 2);
            ok = CopyOrDelete(from, rng, intended);
        }
        if (kind != 0) {
            Bytes now[2] = {ReadCard(0), ReadCard(1)};
            Count(cell, ok, {now[0], now[1]}, {before[0], before[1]}, {intended[0], intended[1]});
        }
        // Start the next operation from the intended cards.
        for (int i = 0; i < 2; ++i) {
            intended_[i] = intended[i];
            WriteCard(i, intended[i]);
        }
    }

  private:
    void Count(Cell& cell, bool ok, const std::vector<Bytes>& now, const std::vector<Bytes>& before,
               const std::vector<Bytes>& intended) {
        ++cell.ops;
        int wrong = 0;
        int garbled = 0;
        for (size_t i = 0; i < now.size(); ++i) {
            wrong += BlocksApart(now[i], intended[i]);
            // The cards, not a saved image (which a failed save leaves short).
            if (now.size() == 2 || i > 0)
                garbled += BlocksGarbled(now[i], before[i], intended[i]);
        }
        if (ok && wrong > 0 && settings_.VerifyTransfers != 0 &&
            std::getenv("SOAK_VERBOSE") != nullptr) {
            for (size_t i = 0; i < now.size(); ++i) {
                for (size_t at = 0; at + kBlock <= now[i].size(); at += kBlock) {
                    if (std::memcmp(now[i].data() + at, intended[i].data() + at, kBlock) != 0)
                        std::fprintf(stderr, "op %d kind %d: volume %zu block %zu wrong\n",
                                     cell.ops, lastKind_, i, at / kBlock);
                }
            }
        }
        if (ok) {
            cell.silent += wrong > 0;
            cell.wrongBlocks += wrong;
        } else {
            ++cell.failed;
            cell.garbled += garbled;
        }
    }

    // The same copy or deletion on clean images gives the intended cards.
    bool CopyOrDelete(int from, std::mt19937& rng, Bytes (&intended)[2]) {
        const int to = 1 - from;
        const fs::path clean[2] = {folder_ / "clean0.dcm", folder_ / "clean1.dcm"};
        std::unique_ptr<CardVolume> replica[2];
        for (int i = 0; i < 2; ++i) {
            WriteAll(clean[i], intended[i]);
            replica[i] = std::make_unique<CardVolume>();
            replica[i]->SetPlace(CardPlace::Image);
            replica[i]->OpenImage(clean[i].string());
            LoadVolume(*replica[i]);
        }
        CardVolume& source = *replica[from];
        if (source.ListedCount() == 0)
            return true;
        const int entry = source.ListMap()[rng() % source.ListedCount()];
        const bool full = replica[to]->FreeBlocks() < 24 || replica[to]->ListedCount() > 150;
        bool ok = false;
        if (full) {
            const int victim = replica[to]->ListMap()[rng() % replica[to]->ListedCount()];
            DeleteSaver(*replica[to], victim);
            ok = LoadVolume(*volumes_[to]).Loaded() && DeleteSaver(*volumes_[to], victim);
        } else {
            CopySaver(source, entry, *replica[to]);
            ok = LoadVolume(*volumes_[from]).Loaded() && LoadVolume(*volumes_[to]).Loaded() &&
                 CopySaver(*volumes_[from], entry, *volumes_[to]);
        }
        for (int i = 0; i < 2; ++i) {
            replica[i]->CloseImage();
            intended[i] = ReadAll(clean[i]);
        }
        return ok;
    }

    Bytes ReadCard(int i) {
        Bytes all = ReadAll(cards_[i]);
        all.resize(kCard);
        return all;
    }
    void WriteCard(int i, const Bytes& bytes) {
        // An image volume reads through its own buffered handle: reopen it.
        const bool image = volumes_[i]->Place() == CardPlace::Image;
        if (image)
            volumes_[i]->CloseImage();
        WriteAll(cards_[i], bytes);
        if (image)
            volumes_[i]->OpenImage(cards_[i].string());
    }

    fs::path folder_;
    bool direct_;
    fs::path cards_[2];
    Settings settings_;
    SilentCardFeedback ui_;
    LinkBox* box_ = nullptr;
    std::unique_ptr<LinkPort> link_;
    std::unique_ptr<CardVolume> volumes_[2];
    Bytes intended_[2];
    int lastKind_ = 0;
};

struct Options {
    bool shortRun = false;
    double rate = -1; // one rate only, when given
    int ops = 40;
    uint32_t seed = 20240611;
};

Cell RunCell(const fs::path& root, bool direct, bool verify, double rate, const Options& options,
             const Bytes& card1, const Bytes& card2, const std::vector<Bytes>& uploads) {
    // Appended rather than "d" + ...: g++ 12 at -O2 warns falsely
    // (-Wrestrict) on a literal put before a temporary string.
    std::string name = direct ? "d" : "c";
    name += std::to_string(verify);
    name += std::to_string(static_cast<int>(rate * 1e7));
    const fs::path folder = root / name;
    fs::create_directories(folder);
    Rig rig(folder, direct, verify, card1, card2);
    rig.Box().Faults().seed = options.seed;
    rig.Box().Faults().bitFlipRate = rate;
    std::mt19937 rng(options.seed);
    Cell cell;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < options.ops; ++i)
        rig.Step(rng, uploads, cell);
    cell.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return cell;
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--short") {
            options.shortRun = true;
            options.ops = 6;
        } else if (arg == "--ops" && i + 1 < argc) {
            options.ops = std::atoi(argv[++i]);
        } else if (arg == "--rate" && i + 1 < argc) {
            options.rate = std::atof(argv[++i]);
        } else if (arg == "--seed" && i + 1 < argc) {
            options.seed = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 10));
        } else {
            std::fprintf(stderr,
                         "usage: soak_transfers [--short] [--ops N] [--seed S] [--rate R]\n");
            return 2;
        }
    }
    char name[] = "/tmp/porvane-soak-XXXXXX";
    if (::mkdtemp(name) == nullptr)
        return 1;
    const fs::path root = name;
    EnsureSideFiles(root.string() + "/");
    const Bytes card1 = MakeCard(root, 1, 120);
    const Bytes card2 = MakeCard(root, 2, 60);
    const std::vector<Bytes> uploads = {MakeCard(root, 3, 150), MakeCard(root, 4, 30), card1};

    std::vector<double> rates =
        options.shortRun ? std::vector<double>{1e-5, 1e-4} : std::vector<double>{1e-6, 1e-5, 1e-4};
    if (options.rate >= 0)
        rates = {options.rate};
    const std::vector<bool> verifies =
        options.shortRun ? std::vector<bool>{true} : std::vector<bool>{false, true};
    std::printf("| mode | verify | flip rate | ops | failed | silent | wrong blocks | garbled | "
                "seconds |\n|---|---|---|---|---|---|---|---|---|\n");
    int silentVerified = 0;
    for (const bool direct : {false, true}) {
        for (const bool verify : verifies) {
            for (const double rate : rates) {
                const Cell c = RunCell(root, direct, verify, rate, options, card1, card2, uploads);
                std::printf("| %s | %s | %.0e | %d | %d | %d | %d | %d | %.1f |\n",
                            direct ? "direct" : "chunked", verify ? "on" : "off", rate, c.ops,
                            c.failed, c.silent, c.wrongBlocks, c.garbled, c.seconds);
                std::fflush(stdout);
                if (verify)
                    silentVerified += c.silent;
            }
        }
    }
    fs::remove_all(root);
    if (silentVerified > 0) {
        std::printf("FAILED: %d operations reported success with wrong data while verifying\n",
                    silentVerified);
        return 1;
    }
    return 0;
}
