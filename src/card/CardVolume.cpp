#include "card/CardVolume.h"

#include "card/CardImageOrder.h"

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
    // Unbuffered: a block the disk refuses (full, over a file-size limit)
    // stays out of the stream instead of blocking every later write,
    // including the one that puts the old block back.
    if (ImageFile != nullptr)
        std::setvbuf(ImageFile, nullptr, _IONBF, 0);
    ImageReadOnly = false;
    if (ImageFile == nullptr) {
        // A file we may only read can still be listed and exported; writes
        // to it then fail like any other failed write.
        ImageFile = std::fopen(fileName.c_str(), "rb");
        ImageReadOnly = ImageFile != nullptr;
    }
    // Unbuffered: every read sees the file as it is now, so that a command
    // can tell when another program changed the image since it was listed.
    if (ImageFile != nullptr)
        std::setvbuf(ImageFile, nullptr, _IONBF, 0);
    ImageName = fileName;
    const OrderGuess order = GuessImageFileOrder(fileName);
    ImageNatural = order.order == ImageOrder::Natural;
    ImageOrderGuessed = !order.fromContent;
    ImageOrderUnsure = order.Unsure();
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
    ImageLockHeld = 0;
    ImageNatural = false;
    ImageOrderGuessed = false;
    ImageOrderUnsure = false;
}
