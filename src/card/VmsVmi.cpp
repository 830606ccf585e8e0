#include "card/VmsVmi.h"

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
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr int kBlock = CardVolume::kBlockSize;
constexpr uint8_t kChecksumMask[4] = {'S', 'E', 'G', 'A'};

uint16_t Le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t Le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0] | (p[1] << 8) | (p[2] << 16)) |
           (static_cast<uint32_t>(p[3]) << 24);
}
void Put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

uint8_t ToBcd(int value) {
    value %= 100;
    return static_cast<uint8_t>((value / 10) << 4 | (value % 10));
}
int FromBcd(uint8_t bcd) {
    return (bcd >> 4) * 10 + (bcd & 0x0F);
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool HasExtension(const std::string& path, const char* ext) {
    return Lower(fs::path(path).extension().string()) == ext;
}

// A name field: printable ASCII, then nothing but NULs. Blank is allowed
// for the resource only when empty is.
bool PlainName(const uint8_t* field, int length) {
    int k = 0;
    while (k < length && field[k] != 0) {
        if (field[k] < 0x20 || field[k] >= 0x7F)
            return false;
        ++k;
    }
    for (; k < length; ++k) {
        if (field[k] != 0)
            return false;
    }
    return true;
}

std::string FieldText(const uint8_t* field, int length) {
    std::string text(reinterpret_cast<const char*>(field), static_cast<size_t>(length));
    while (!text.empty() && (text.back() == '\0' || text.back() == ' '))
        text.pop_back();
    return text;
}

bool ReadWholeFile(const std::string& path, std::unique_ptr<uint8_t[]>& bytes, size_t& size,
                   size_t limit) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return false;
    bytes = std::make_unique<uint8_t[]>(limit + 1);
    size = std::fread(bytes.get(), 1, limit + 1, file);
    const bool ok = std::ferror(file) == 0;
    std::fclose(file);
    return ok;
}

// The one file in folder whose name, in any case, is name.
std::string FindBeside(const fs::path& folder, const std::string& name) {
    std::error_code ec;
    const std::string wanted = Lower(name);
    for (fs::directory_iterator it(folder.empty() ? fs::path(".") : folder, ec), end;
         !ec && it != end; it.increment(ec)) {
        if (Lower(it->path().filename().string()) == wanted)
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

uint32_t VmiChecksum(const uint8_t* resource8) {
    uint8_t sum[4];
    for (int i = 0; i < 4; ++i)
        sum[i] = static_cast<uint8_t>(resource8[i] & kChecksumMask[i]);
    return Le32(sum);
}

void EncodeVmi(const VmiFields& f, uint8_t* out) {
    std::memset(out, 0, kVmiSize);
    Put32(out + 0x00, VmiChecksum(f.resource));
    std::memcpy(out + 0x04, f.description, sizeof f.description);
    std::memcpy(out + 0x24, f.copyright, sizeof f.copyright);
    Put16(out + 0x44, f.year);
    const uint8_t clock[6] = {f.month, f.day, f.hour, f.minute, f.second, f.weekday};
    std::memcpy(out + 0x46, clock, sizeof clock);
    Put16(out + 0x4C, f.version);
    Put16(out + 0x4E, f.fileNumber);
    std::memcpy(out + 0x50, f.resource, sizeof f.resource);
    std::memcpy(out + 0x58, f.name, sizeof f.name);
    Put16(out + 0x64, f.mode);
    Put32(out + 0x68, f.dataBytes);
}

bool DecodeVmi(const uint8_t* in, size_t size, VmiFields& f, std::string& error) {
    if (size != static_cast<size_t>(kVmiSize)) {
        error = "the VMI file is " + std::to_string(size) + " bytes long, not 108";
        return false;
    }
    std::memcpy(f.description, in + 0x04, sizeof f.description);
    std::memcpy(f.copyright, in + 0x24, sizeof f.copyright);
    f.year = Le16(in + 0x44);
    f.month = in[0x46];
    f.day = in[0x47];
    f.hour = in[0x48];
    f.minute = in[0x49];
    f.second = in[0x4A];
    f.weekday = in[0x4B];
    f.version = Le16(in + 0x4C);
    f.fileNumber = Le16(in + 0x4E);
    std::memcpy(f.resource, in + 0x50, sizeof f.resource);
    std::memcpy(f.name, in + 0x58, sizeof f.name);
    f.mode = Le16(in + 0x64);
    f.dataBytes = Le32(in + 0x68);
    if (!PlainName(f.resource, kVmiResourceLength) || f.resource[0] == 0) {
        error = "the VMI's resource name is empty or holds control bytes";
        return false;
    }
    if (!PlainName(f.name, SaverEntry::kNameLength) || f.name[0] == 0) {
        error = "the VMI's saver name is empty or holds control bytes";
        return false;
    }
    if (Le32(in) != VmiChecksum(f.resource)) {
        error = "the VMI's checksum does not match its resource name";
        return false;
    }
    return true;
}

bool IsVmsPath(const std::string& path) {
    return HasExtension(path, ".vms");
}

bool IsVmiPath(const std::string& path) {
    return HasExtension(path, ".vmi");
}

std::string VmiPathFor(const std::string& vmsPath) {
    fs::path path(vmsPath);
    const std::string ext = path.extension().string();
    const bool lower = !ext.empty() && ext == Lower(ext);
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
    if (entry < 0 || entry >= CardVolume::kEntryCount || volume.Entries[entry].SizeBlocks == 0) {
        error = "no saver in that entry";
        return false;
    }
    const SaverEntry& e = volume.Entries[entry];
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
        readOk = volume.ReadRawBlock(volume.Device, chain.blocks[step], volume.Block);
        SwapWords(volume.Block);
        if (step == headerStep)
            std::memcpy(f.description, volume.Block, sizeof f.description);
        fileOk = readOk && std::fwrite(volume.Block, 1, kBlock, vms) == static_cast<size_t>(kBlock);
    }
    if (std::fclose(vms) != 0)
        fileOk = false;
    if (!readOk || !fileOk) {
        error = !readOk ? "a block of the saver could not be read" : "cannot write " + vmsPath;
        return false;
    }
    static constexpr char kCopyright[] = "Porvane";
    std::memcpy(f.copyright, kCopyright, sizeof kCopyright - 1);
    const uint8_t* stamp = e.Raw + SaverEntry::kStampOffset;
    f.year = static_cast<uint16_t>(FromBcd(stamp[0]) * 100 + FromBcd(stamp[1]));
    f.month = static_cast<uint8_t>(FromBcd(stamp[2]));
    f.day = static_cast<uint8_t>(FromBcd(stamp[3]));
    f.hour = static_cast<uint8_t>(FromBcd(stamp[4]));
    f.minute = static_cast<uint8_t>(FromBcd(stamp[5]));
    f.second = static_cast<uint8_t>(FromBcd(stamp[6]));
    f.weekday = static_cast<uint8_t>(FromBcd(stamp[7]));
    std::memcpy(f.resource, resource.data(),
                std::min(resource.size(), static_cast<size_t>(kVmiResourceLength)));
    std::memcpy(f.name, e.Raw + SaverEntry::kNameOffset, SaverEntry::kNameLength);
    f.mode = static_cast<uint16_t>((e.IsGame ? VmiFields::kModeGame : 0) |
                                   (e.Raw[1] != 0 ? VmiFields::kModeProtected : 0));
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
    std::unique_ptr<uint8_t[]> bytes;
    size_t size = 0;
    if (!ReadWholeFile(chosen, bytes, size, kVmiSize)) {
        error = "cannot read " + chosen;
        return false;
    }
    VmiFields f;
    if (!DecodeVmi(bytes.get(), size, f, error)) {
        error = chosen + ": " + error;
        return false;
    }
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
    constexpr size_t kMaxData = static_cast<size_t>(CardVolume::kDirLastBlock) * kBlock;
    std::unique_ptr<uint8_t[]> data;
    size_t dataSize = 0;
    if (!ReadWholeFile(pair.vms, data, dataSize, kMaxData)) {
        error = "cannot read " + pair.vms;
        return false;
    }
    if (dataSize == 0 || dataSize > kMaxData) {
        error = pair.vms + (dataSize == 0 ? " is empty" : " is larger than a card");
        return false;
    }
    uint8_t entry[kDciHeaderSize] = {};
    const size_t blocks = (dataSize + kBlock - 1) / kBlock;
    bool game = false;
    if (pair.Lone()) {
        // Names on a card are padded with blanks; a NUL would show as a box.
        std::memset(entry + SaverEntry::kNameOffset, ' ', SaverEntry::kNameLength);
        const std::string stem = fs::path(pair.vms).stem().string();
        for (size_t i = 0; i < stem.size() && i < static_cast<size_t>(SaverEntry::kNameLength);
             ++i) {
            const unsigned char c = static_cast<unsigned char>(stem[i]);
            entry[SaverEntry::kNameOffset + i] =
                c >= 0x20 && c < 0x7F ? static_cast<uint8_t>(std::toupper(c)) : '_';
        }
        std::tm local{};
        localtime_r(&now, &local);
        const int year = local.tm_year + 1900;
        const uint8_t stamp[8] = {ToBcd(year / 100),       ToBcd(year),
                                  ToBcd(local.tm_mon + 1), ToBcd(local.tm_mday),
                                  ToBcd(local.tm_hour),    ToBcd(local.tm_min),
                                  ToBcd(local.tm_sec),     ToBcd(local.tm_wday)};
        std::memcpy(entry + SaverEntry::kStampOffset, stamp, sizeof stamp);
    } else {
        std::unique_ptr<uint8_t[]> bytes;
        size_t size = 0;
        VmiFields f;
        if (!ReadWholeFile(pair.vmi, bytes, size, kVmiSize)) {
            error = "cannot read " + pair.vmi;
            return false;
        }
        if (!DecodeVmi(bytes.get(), size, f, error)) {
            error = pair.vmi + ": " + error;
            return false;
        }
        if (f.dataBytes != dataSize) {
            error = pair.vmi + ": the VMI gives " + std::to_string(f.dataBytes) +
                    " bytes of data, but " + pair.vms + " holds " + std::to_string(dataSize);
            return false;
        }
        game = (f.mode & VmiFields::kModeGame) != 0;
        entry[1] = (f.mode & VmiFields::kModeProtected) != 0 ? 0xFF : 0x00;
        std::memcpy(entry + SaverEntry::kNameOffset, f.name, SaverEntry::kNameLength);
        const uint8_t stamp[8] = {ToBcd(f.year / 100), ToBcd(f.year),   ToBcd(f.month),
                                  ToBcd(f.day),        ToBcd(f.hour),   ToBcd(f.minute),
                                  ToBcd(f.second),     ToBcd(f.weekday)};
        std::memcpy(entry + SaverEntry::kStampOffset, stamp, sizeof stamp);
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
    std::memcpy(dci.get() + kDciHeaderSize, data.get(), dataSize);
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
