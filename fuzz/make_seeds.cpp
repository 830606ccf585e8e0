// fuzz_make_seeds OUTDIR: the seed corpora of the fuzz targets, made by the
// program's own writers (new and formatted cards, the demo cards and their
// savers, the caption logo, icon pictures, settings files, a little 86K
// program) and recordings of the emulated box answering the link commands.
// One folder per target under OUTDIR.
#include "FuzzLink.h"
#include "card/CardVolume.h"
#include "card/DemoCards.h"
#include "card/DemoSavers.h"
#include "card/IconBmp.h"
#include "card/SideFiles.h"
#include "link/emu/BoxDevice.h"
#include "link/emu/EmulatorBackend.h"
#include "settings/ConfigFile.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool WriteAll(const fs::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

bool Formatted(const fs::path& path, uint8_t userBlocks) {
    if (!WriteImageTemplate(path.string()))
        return false;
    auto card = std::make_unique<CardVolume>();
    card->SetPlace(CardPlace::Image);
    const bool ok = card->OpenImage(path.string()) && card->FormatVolume(userBlocks);
    card->CloseImage();
    return ok;
}

bool CardSeeds(const fs::path& out, const fs::path& demo) {
    bool ok = Formatted(out / "formatted200.dcm", 200) &&
              Formatted(out / "formatted240.dcm", 240) && Formatted(out / "formatted241.dcm", 241);
    fs::copy_file(demo / "slot1.dcm", out / "demo1.dcm", fs::copy_options::overwrite_existing);
    fs::copy_file(demo / "slot2.dcm", out / "demo2.dcm", fs::copy_options::overwrite_existing);
    // Shorter inputs are a card's last blocks: the file system's own, and
    // those from block 190 up, which hold the demo card's data savers.
    const Bytes card = ReadAll(demo / "slot1.dcm");
    const Bytes system(card.end() - 15 * 512, card.end());
    const Bytes tail(card.end() - 66 * 512, card.end());
    return ok && WriteAll(out / "blank.dcm", Bytes(CardVolume::kCardBytes, 0xFF)) &&
           WriteAll(out / "demo1-system.bin", system) && WriteAll(out / "demo1-tail.bin", tail);
}

bool DciSeeds(const fs::path& out) {
    uint8_t picture[IconArea::kSize];
    DrawNoIconPicture(picture);
    return WriteDemoDataDci((out / "data.dci").string()) &&
           WriteDemoGameDci((out / "game.dci").string()) &&
           WriteDemoLogoDci((out / "logo.dci").string()) &&
           BuildLogoDci(picture, picture, "NO ICON", (out / "noicon.dci").string());
}

bool BmpSeeds(const fs::path& out) {
    if (!WriteNoIconPicture((out / "noicon.bmp").string()))
        return false;
    // The same picture top-down, and with a 16-colour palette.
    Bytes bmp = ReadAll(out / "noicon.bmp");
    Bytes topDown = bmp;
    for (int k = 0; k < 4; ++k)
        topDown[22 + k] = static_cast<uint8_t>(static_cast<uint32_t>(-32) >> (8 * k));
    Bytes small(bmp.begin(), bmp.begin() + 54 + 64);
    small.insert(small.end(), bmp.begin() + 1078, bmp.end());
    const uint32_t pixelOffset = 54 + 64;
    const uint32_t fileSize = static_cast<uint32_t>(small.size());
    for (int k = 0; k < 4; ++k) {
        small[2 + k] = static_cast<uint8_t>(fileSize >> (8 * k));
        small[10 + k] = static_cast<uint8_t>(pixelOffset >> (8 * k));
        small[46 + k] = k == 0 ? 16 : 0;
    }
    return WriteAll(out / "topdown.bmp", topDown) && WriteAll(out / "palette16.bmp", small);
}

bool ConfigSeeds(const fs::path& out) {
    Settings custom;
    custom.BasePort = 0x278;
    custom.ShortDelay = 100;
    custom.LongDelay = 2000;
    custom.LongestDelay = 30000;
    custom.DragMode = 1;
    custom.AutoRefresh = 0;
    custom.VerifyTransfers = 0;
    fs::create_directories(out / "a");
    fs::create_directories(out / "b");
    bool ok =
        SaveConfig((out / "a").string(), Settings{}) && SaveConfig((out / "b").string(), custom);
    fs::rename(out / "a" / kConfigFileName, out / "default.cfg");
    fs::rename(out / "b" / kConfigFileName, out / "custom.cfg");
    fs::remove(out / "a");
    fs::remove(out / "b");
    return ok && WriteAll(out / "seven-lines.cfg",
                          Bytes{'8',  '8',  '8', '\r', '\n', '1', '\r', '\n', '2', '\r', '\n', '3',
                                '\r', '\n', '4', '\r', '\n', '0', '\r', '\n', '1', '\r', '\n'});
}

// The demo game's blocks in natural order, as the code window lists them.
bool DisasmSeeds(const fs::path& out, const fs::path& scratch) {
    if (!WriteDemoGameDci((scratch / "game.dci").string()))
        return false;
    const Bytes dci = ReadAll(scratch / "game.dci");
    Bytes code(dci.begin() + 32, dci.end());
    SwapWords(code.data(), code.size());
    return WriteAll(out / "game.bin", code) &&
           WriteAll(out / "first-block.bin", Bytes(code.begin(), code.begin() + 512));
}

// Records the value of every port read, as the socket's far end sends them.
class RecordingBackend : public PortBackend {
  public:
    explicit RecordingBackend(std::unique_ptr<PortBackend> inner) : inner_(std::move(inner)) {}
    bool Open() override { return inner_->Open(); }
    void Close() override { inner_->Close(); }
    bool IsOpen() const override { return inner_->IsOpen(); }
    void SelectBase(uint16_t base) override { inner_->SelectBase(base); }
    bool Read(uint16_t port, uint8_t& value) override {
        const bool ok = inner_->Read(port, value);
        replies->push_back(ok ? value : 0);
        return ok;
    }
    bool Write(uint16_t port, uint8_t value) override { return inner_->Write(port, value); }
    uint32_t LastError() const override { return 0; }
    Bytes* replies = nullptr;

  private:
    std::unique_ptr<PortBackend> inner_;
};

bool Recording(const fs::path& file, std::unique_ptr<BoxDevice> device, const Bytes& commands) {
    Bytes seed;
    seed.push_back(static_cast<uint8_t>(commands.size() - 1));
    seed.insert(seed.end(), commands.begin(), commands.end());
    auto backend =
        std::make_unique<RecordingBackend>(std::make_unique<EmulatorBackend>(std::move(device)));
    backend->replies = &seed;
    fuzz::SteppingClock clock;
    {
        LinkPort link(std::move(backend), &clock);
        fuzz::RunLinkCommands(link, commands.data(), commands.size());
    }
    return WriteAll(file, seed);
}

bool LinkSeeds(const fs::path& out, const fs::path& demo, const fs::path& scratch) {
    // Commands: low nibble which, high nibble its argument (see FuzzLink.cpp).
    const Bytes twoSlot[] = {
        {0x00, 0x01},             // detect, slot status
        {0x00, 0xF2},             // detect, read block 255 of slot 2
        {0x00, 0x03, 0x02},       // detect, write and read back block 0
        {0x00, 0xFA, 0x0B, 0x0D}, // verified read, verified write, single chunk commands
    };
    const Bytes paged[] = {
        {0x00, 0x16, 0xF4},       // detect, set and get page 1, read memory
        {0x00, 0x05, 0x08, 0xF9}, // detect, write memory, read span, partial block write
        {0x00, 0x1C, 0xFA, 0x0B}, // direct mode, verified read and write
        {0x07, 0x00},             // 16 MB page, detect
    };
    bool ok = true;
    int n = 0;
    for (const Bytes& commands : twoSlot) {
        // Each recording on fresh copies of the demo cards.
        fs::create_directories(scratch / "box");
        for (const char* card : {"slot1.dcm", "slot2.dcm"})
            fs::copy_file(demo / card, scratch / "box" / card,
                          fs::copy_options::overwrite_existing);
        ok = Recording(out / ("two-slot" + std::to_string(n++) + ".bin"),
                       std::make_unique<TwoSlotDevice>((scratch / "box").string()), commands) &&
             ok;
    }
    n = 0;
    for (const Bytes& commands : paged) {
        Bytes pages = ReadAll(demo / "slot1.dcm");
        const Bytes second = ReadAll(demo / "slot2.dcm");
        pages.insert(pages.end(), second.begin(), second.end());
        ok = WriteAll(scratch / "paged.bin", pages) && ok;
        ok = Recording(out / ("paged" + std::to_string(n++) + ".bin"),
                       std::make_unique<PagedDevice>((scratch / "paged.bin").string()), commands) &&
             ok;
    }
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: fuzz_make_seeds OUTDIR\n";
        return 2;
    }
    const fs::path out = argv[1];
    const fs::path scratch = out / ".scratch";
    fs::remove_all(scratch);
    for (const char* target :
         {"card_image", "dci_import", "bmp", "config", "disasm", "socket_link"})
        fs::create_directories(out / target);
    fs::create_directories(scratch);
    const fs::path demo = scratch / "demo";
    std::string error;
    bool ok = EnsureDemoCards(demo.string(), &error);
    ok = ok && CardSeeds(out / "card_image", demo) && DciSeeds(out / "dci_import") &&
         BmpSeeds(out / "bmp") && ConfigSeeds(out / "config") &&
         DisasmSeeds(out / "disasm", scratch) && LinkSeeds(out / "socket_link", demo, scratch);
    fs::remove_all(scratch);
    if (!ok) {
        std::cerr << "fuzz_make_seeds: could not make the seeds " << error << "\n";
        return 1;
    }
    return 0;
}
