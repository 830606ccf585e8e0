#include "card/CardVolume.h"

#include "card/CardUi.h"
#include "link/LinkPort.h"
#include "settings/Settings.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

void SwapWords(uint8_t* data, size_t bytes) {
    for (size_t g = 0; g + 4 <= bytes; g += 4) {
        std::swap(data[g], data[g + 3]);
        std::swap(data[g + 1], data[g + 2]);
    }
}

void SwapWords(uint8_t* block512) {
    SwapWords(block512, CardVolume::kBlockSize);
}

CardVolume::~CardVolume() {
    CloseImage();
}

bool CardVolume::OpenImage(const std::string& fileName) {
    // A second open without a close would lose the first handle.
    CloseImage();
    ImageOpen = true;
    std::error_code ec;
    if (!std::filesystem::exists(fileName, ec)) {
        std::fill(std::begin(WorkArea), std::end(WorkArea), uint8_t{0xFF});
        // "x": never truncate a file that exists after all.
        if (std::FILE* created = std::fopen(fileName.c_str(), "wbx")) {
            for (int i = 0; i < kCardBytes / kWorkAreaSize; ++i)
                std::fwrite(WorkArea, 1, kWorkAreaSize, created);
            std::fclose(created);
        }
    }
    ImageFile = std::fopen(fileName.c_str(), "r+b");
    ImageReadOnly = false;
    if (ImageFile == nullptr) {
        // A file we may only read can still be listed and exported; writes
        // to it then fail like any other failed write.
        ImageFile = std::fopen(fileName.c_str(), "rb");
        ImageReadOnly = ImageFile != nullptr;
    }
    ImageName = fileName;
    return ImageFile != nullptr;
}

void CardVolume::CloseImage() {
    if (!ImageOpen)
        return;
    if (ImageFile != nullptr)
        std::fclose(ImageFile);
    ImageFile = nullptr;
    ImageOpen = false;
    ImageReadOnly = false;
}

bool CardVolume::ReadRawBlock(uint8_t device, uint8_t block, uint8_t* out512) {
    if (device >= kImage) {
        if (ImageFile == nullptr)
            return false;
        if (std::fseek(ImageFile, static_cast<long>(block) * kBlockSize, SEEK_SET) != 0)
            return false;
        std::clearerr(ImageFile);
        // A short read at the end of a short file is not an error of its own.
        (void)std::fread(out512, 1, kBlockSize, ImageFile);
        return std::ferror(ImageFile) == 0;
    }
    for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
        if (Link != nullptr && Link->ReadBlock(device, block, out512))
            return true;
    }
    ReportLinkFailure(kReadErrorText);
    return false;
}

bool CardVolume::WriteRawBlock(uint8_t device, uint8_t block, const uint8_t* data512) {
    if (device >= kImage) {
        if (ImageFile == nullptr || ImageReadOnly)
            return false;
        if (std::fseek(ImageFile, static_cast<long>(block) * kBlockSize, SEEK_SET) != 0)
            return false;
        const size_t written = std::fwrite(data512, 1, kBlockSize, ImageFile);
        // Flushed at once so that a failing disk shows up on this block.
        return std::fflush(ImageFile) == 0 && written == kBlockSize;
    }
    for (int attempt = 0; attempt < kWriteAttempts; ++attempt) {
        if (Link != nullptr && Link->WriteBlock(device, block, data512))
            return true;
    }
    ReportLinkFailure(kWriteErrorText);
    return false;
}

void CardVolume::ReportLinkFailure(const char* text) {
    if (Config != nullptr)
        Config->AutoRefresh = 0;
    if (Ui != nullptr)
        Ui->ShowInfo(text);
}
