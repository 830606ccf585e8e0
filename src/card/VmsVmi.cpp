#include "card/VmsVmi.h"

#include "base/FileNames.h"
#include "base/SafeFile.h"

#include "card/DciFile.h"
#include "card/SaverChains.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr int kBlock = CardVolume::kBlockSize;
// Where the header's text for the console's file screen starts.
constexpr int kHeaderFileScreenText = 0x10;
// Entry byte 1 of a copy-protected saver.
constexpr uint8_t kProtectedByte = 0xFF;

std::string FieldText(const uint8_t* field, int length) {
    std::string text(reinterpret_cast<const char*>(field), static_cast<size_t>(length));
    while (!text.empty() && (text.back() == '\0' || text.back() == ' '))
        text.pop_back();
    return text;
}

// Up to limit bytes of the regular file at path into bytes (got of them),
// and the file's whole size. False when it cannot be opened or read.
bool ReadFileHead(const std::string& path, std::unique_ptr<uint8_t[]>& bytes, size_t limit,
                  size_t& got, uint64_t& fileSize) {
    std::error_code ec;
    // Opening a FIFO would wait for a writer.
    if (!fs::is_regular_file(path, ec))
        return false;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return false;
    struct stat info {};
    bool ok = fstat(fileno(file), &info) == 0;
    fileSize = ok ? static_cast<uint64_t>(info.st_size) : 0;
    bytes = std::make_unique<uint8_t[]>(limit);
    got = std::fread(bytes.get(), 1, limit, file);
    ok = ok && std::ferror(file) == 0;
    std::fclose(file);
    return ok;
}

bool ReadVmi(const std::string& path, VmiFields& f, VmiAdvice& advice, std::string& error) {
    std::unique_ptr<uint8_t[]> bytes;
    size_t got = 0;
    uint64_t size = 0;
    if (!ReadFileHead(path, bytes, kVmiSize, got, size)) {
        error = "cannot read " + path;
        return false;
    }
    if (!DecodeVmi(bytes.get(), got < static_cast<size_t>(kVmiSize) ? got : size, f, advice,
                   error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}

// The one file in folder whose name, in any case, is name.
std::string FindBeside(const fs::path& folder, const std::string& name) {
    std::error_code ec;
    const std::string wanted = AsciiLower(name);
    for (fs::directory_iterator it(folder.empty() ? fs::path(".") : folder, ec), end;
         !ec && it != end; it.increment(ec)) {
        if (AsciiLower(it->path().filename().string()) == wanted)
            return (folder / it->path().filename()).string();
    }
    return std::string();
}

bool WriteFile(const std::string& path, const uint8_t* bytes, size_t size) {
    std::FILE* file = OpenStreamForWriting(path);
    if (file == nullptr)
        return false;
    bool ok = std::fwrite(bytes, 1, size, file) == size;
    if (std::fclose(file) != 0)
        ok = false;
    return ok;
}

} // namespace

bool IsVmsPath(const std::string& path) {
    return HasExtension(path, ".vms");
}

bool IsVmiPath(const std::string& path) {
    return HasExtension(path, ".vmi");
}

std::string VmiPathFor(const std::string& vmsPath) {
    fs::path path(vmsPath);
    const std::string ext = path.extension().string();
    const bool lower = !ext.empty() && ext == AsciiLower(ext);
    return path.replace_extension(lower ? ".vmi" : ".VMI").string();
}

bool ResourceNameOf(const std::string& vmsPath, std::string& resource, std::string& error) {
    resource = fs::path(vmsPath).stem().string();
    if (resource.empty() || resource.size() > static_cast<size_t>(kVmiResourceLength)) {
        error = "the VMS file's name \"" + resource +
                "\" must have 1 to 8 characters before \".VMS\" (it names the data in the VMI)";
        return false;
    }
    for (unsigned char c : resource) {
        if (c < 0x20 || c >= 0x7F) {
            error = "the VMS file's name must be plain ASCII";
            return false;
        }
    }
    return true;
}

bool ExportVmsVmi(const std::string& vmsPath, const std::string& vmiPath,
                  const std::string& resource, int entry, CardVolume& volume, std::string& error) {
    if (entry < 0 || entry >= CardVolume::kEntryCount || volume.Entries()[entry].SizeBlocks == 0) {
        error = "no saver in that entry";
        return false;
    }
    const SaverEntry& e = volume.Entries()[entry];
    SaverChain chain;
    WalkSaverChain(volume, e, chain);
    if (!chain.Whole()) {
        error = "the saver's chain is broken";
        return false;
    }
    VmiFields f;
    const int headerStep = e.IsGame ? 1 : 0;
    std::FILE* vms = OpenStreamForWriting(vmsPath);
    if (vms == nullptr) {
        error = "cannot write " + vmsPath;
        return false;
    }
    bool readOk = true;
    bool fileOk = true;
    for (int step = 0; step < chain.count && readOk && fileOk; ++step) {
        readOk = volume.ReadRawBlock(volume.Device(), chain.blocks[step], volume.Block());
        SwapWords(volume.Block());
        // The console's file screen shows header bytes 0x10..0x2F; the first
        // 16 are the memory unit's own text.
        if (step == headerStep)
            std::memcpy(f.description, volume.Block() + kHeaderFileScreenText,
                        sizeof f.description);
        fileOk =
            readOk && std::fwrite(volume.Block(), 1, kBlock, vms) == static_cast<size_t>(kBlock);
    }
    if (std::fclose(vms) != 0)
        fileOk = false;
    if (!readOk || !fileOk) {
        error = !readOk ? "a block of the saver could not be read" : "cannot write " + vmsPath;
        return false;
    }
    static constexpr char kCopyright[] = "Porvane";
    std::memcpy(f.copyright, kCopyright, sizeof kCopyright - 1);
    CardStampToVmiTime(e.Raw + SaverEntry::kStampOffset, f);
    std::memcpy(f.resource, resource.data(),
                std::min(resource.size(), static_cast<size_t>(kVmiResourceLength)));
    std::memcpy(f.name, e.Raw + SaverEntry::kNameOffset, SaverEntry::kNameLength);
    // Cards carry other values in byte 1 too (0x80 on some); only 0xFF is
    // the protection the console sets.
    f.mode = static_cast<uint16_t>((e.IsGame ? VmiFields::kModeGame : 0) |
                                   (e.Raw[1] == kProtectedByte ? VmiFields::kModeProtected : 0));
    f.dataBytes = static_cast<uint32_t>(chain.count) * kBlock;
    uint8_t vmi[kVmiSize];
    EncodeVmi(f, vmi);
    if (!WriteFile(vmiPath, vmi, sizeof vmi)) {
        error = "cannot write " + vmiPath;
        return false;
    }
    return true;
}

bool FindVmsPair(const std::string& chosen, VmsPair& pair, std::string& error) {
    pair = VmsPair();
    const fs::path path(chosen);
    if (IsVmsPath(chosen)) {
        pair.vms = chosen;
        pair.vmi = FindBeside(path.parent_path(), path.stem().string() + ".vmi");
        return true;
    }
    VmiFields f;
    VmiAdvice advice;
    if (!ReadVmi(chosen, f, advice, error))
        return false;
    const std::string resource = FieldText(f.resource, kVmiResourceLength);
    pair.vms = FindBeside(path.parent_path(), resource + ".vms");
    if (pair.vms.empty()) {
        error = "no " + resource + ".VMS beside " + chosen;
        return false;
    }
    pair.vmi = chosen;
    return true;
}

bool BuildDciFromVms(const VmsPair& pair, const std::string& dciPath, std::time_t now,
                     std::string& error) {
    VmsBuild build;
    build.now = now;
    return BuildDciFromVms(pair, dciPath, build, error);
}

bool BuildDciFromVms(const VmsPair& pair, const std::string& dciPath, VmsBuild& build,
                     std::string& error) {
    constexpr size_t kMaxData = static_cast<size_t>(CardVolume::kDirLastBlock) * kBlock;
    build.advice.clear();
    std::unique_ptr<uint8_t[]> data;
    size_t got = 0;
    uint64_t dataSize = 0;
    if (!ReadFileHead(pair.vms, data, kMaxData, got, dataSize)) {
        error = "cannot read " + pair.vms;
        return false;
    }
    if (dataSize == 0 || dataSize > kMaxData || got != dataSize) {
        error = pair.vms + (dataSize == 0         ? " is empty"
                            : dataSize > kMaxData ? " is larger than a card"
                                                  : " could not be read whole");
        return false;
    }
    uint8_t entry[kDciHeaderSize] = {};
    const size_t blocks = (got + kBlock - 1) / kBlock;
    bool game = false;
    if (pair.Lone()) {
        game = build.loneAsGame;
        // Names on a card are padded with blanks; a NUL would show as a box.
        std::memset(entry + SaverEntry::kNameOffset, ' ', SaverEntry::kNameLength);
        const std::string stem = fs::path(pair.vms).stem().string();
        for (size_t i = 0; i < stem.size() && i < static_cast<size_t>(SaverEntry::kNameLength);
             ++i) {
            const unsigned char c = static_cast<unsigned char>(stem[i]);
            entry[SaverEntry::kNameOffset + i] =
                c >= 0x20 && c < 0x7F ? static_cast<uint8_t>(std::toupper(c)) : '_';
        }
        CardStampAt(build.now, entry + SaverEntry::kStampOffset);
    } else {
        VmiFields f;
        VmiAdvice advice;
        if (!ReadVmi(pair.vmi, f, advice, error))
            return false;
        if (f.dataBytes != got) {
            error = pair.vmi + ": the VMI gives " + std::to_string(f.dataBytes) +
                    " bytes of data, but " + pair.vms + " holds " + std::to_string(got);
            return false;
        }
        game = (f.mode & VmiFields::kModeGame) != 0;
        entry[1] = (f.mode & VmiFields::kModeProtected) != 0 ? kProtectedByte : 0x00;
        std::memcpy(entry + SaverEntry::kNameOffset, f.name, SaverEntry::kNameLength);
        // A stamp that is no date would stand on the card as one.
        if (!VmiTimeToCardStamp(f, entry + SaverEntry::kStampOffset)) {
            advice.dateImpossible = true;
            CardStampAt(build.now, entry + SaverEntry::kStampOffset);
        }
        build.advice = advice.Line(pair.vmi);
    }
    entry[SaverEntry::kTypeOffset] = game ? SaverEntry::kTypeGame : SaverEntry::kTypeData;
    entry[SaverEntry::kSizeOffset] = static_cast<uint8_t>(blocks);
    // The header's place in blocks: the second block of a game.
    entry[26] = game ? 1 : 0;
    // The short last block is padded with zeros; then every block goes to
    // card order, as single-saver files hold them.
    const size_t padded = blocks * kBlock;
    auto dci = std::make_unique<uint8_t[]>(kDciHeaderSize + padded);
    std::memset(dci.get(), 0, kDciHeaderSize + padded);
    std::memcpy(dci.get(), entry, kDciHeaderSize);
    std::memcpy(dci.get() + kDciHeaderSize, data.get(), got);
    SwapWords(dci.get() + kDciHeaderSize, padded);
    if (!WriteFile(dciPath, dci.get(), kDciHeaderSize + padded)) {
        error = "cannot write " + dciPath;
        return false;
    }
    return true;
}

TempSaverFile::TempSaverFile() {
    const char* dir = std::getenv("TMPDIR");
    std::string pattern =
        std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/porvane-saver-XXXXXX";
    const int fd = mkstemp(pattern.data());
    if (fd >= 0) {
        close(fd);
        path_ = pattern;
    }
}

TempSaverFile::~TempSaverFile() {
    if (!path_.empty())
        std::remove(path_.c_str());
}
