#include "card/CardImage.h"

#include "base/SafeFile.h"

#include "card/CardFeedback.h"
#include "card/ChangeRecorder.h"
#include "card/ImageLock.h"
#include "card/SameCard.h"

#include <cstdio>
#include <filesystem>

namespace {

constexpr int kLastBlock = CardVolume::kBlockCount - 1;

void Progress(CardVolume& volume, int position) {
    if (volume.Store().Feedback() == nullptr)
        return;
    // 256 steps on a bar of 0..255: the last one stays at the end.
    volume.Store().Feedback()->SetProgress(position < kLastBlock ? position : kLastBlock,
                                           kLastBlock);
    volume.Store().Feedback()->Repaint();
}

} // namespace

ImageFileCheck CheckImageFile(const std::string& path, std::string* reason) {
    std::error_code ec;
    const bool regular = std::filesystem::is_regular_file(path, ec);
    const uintmax_t size = regular ? std::filesystem::file_size(path, ec) : 0;
    if (ec) {
        if (reason != nullptr)
            *reason = ec.message();
        return ImageFileCheck::StatFailed;
    }
    if (!regular)
        return ImageFileCheck::NotRegular;
    if (size != static_cast<uintmax_t>(CardVolume::kCardBytes))
        return ImageFileCheck::WrongSize;
    return ImageFileCheck::Fits;
}

bool SaveCardImage(const std::string& path, CardVolume& volume, ImageOrder order) {
    Progress(volume, 0);
    std::FILE* file = OpenStreamForWriting(path);
    if (file == nullptr)
        return false;
    bool readOk = true;
    bool fileOk = true;
    for (int n = 0; n <= kLastBlock && readOk && fileOk; ++n) {
        readOk = volume.ReadRawBlock(volume.Device(), static_cast<uint8_t>(n), volume.Block());
        if (order == ImageOrder::Natural)
            SwapWords(volume.Block());
        fileOk = std::fwrite(volume.Block(), 1, CardVolume::kBlockSize, file) ==
                 static_cast<size_t>(CardVolume::kBlockSize);
        Progress(volume, n + 1);
    }
    if (std::fclose(file) != 0)
        fileOk = false;
    if (volume.Store().Feedback() != nullptr)
        volume.Store().Feedback()->SetProgress(0, kLastBlock);
    return readOk && fileOk;
}

bool UploadCardImage(const std::string& path, CardVolume& volume) {
    if (!ReadyToWrite(volume))
        return false;
    Progress(volume, 0);
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return false;
    // A file of another size would put a stale buffer or a foreign layout on
    // the card: it is refused whole.
    long length = -1;
    if (std::fseek(file, 0, SEEK_END) == 0)
        length = std::ftell(file);
    bool ok = length == CardVolume::kCardBytes && std::fseek(file, 0, SEEK_SET) == 0;
    // Never half of another program's change, nor blocks in a guessed order.
    std::string refusal;
    OrderGuess order;
    if (ok && !LockImageFile(file))
        refusal = ImageBusyText(path);
    else if (ok && (order = GuessImageFileOrder(path)).Unsure())
        refusal = OrderUnknownText(path);
    if (!refusal.empty()) {
        std::fclose(file);
        if (volume.Store().Feedback() != nullptr)
            volume.Store().Feedback()->ShowWarning(refusal);
        return false;
    }
    const bool natural = ok && order.order == ImageOrder::Natural;
    ChangeScope change(volume, "upload " + std::filesystem::path(path).filename().string());
    for (int n = 0; n <= kLastBlock && ok; ++n) {
        ok = std::fread(volume.Block(), 1, CardVolume::kBlockSize, file) ==
             static_cast<size_t>(CardVolume::kBlockSize);
        if (natural)
            SwapWords(volume.Block());
        if (ok)
            ok = volume.WriteRawBlock(volume.Device(), static_cast<uint8_t>(n), volume.Block());
        Progress(volume, n + 1);
    }
    std::fclose(file);
    if (volume.Store().Feedback() != nullptr)
        volume.Store().Feedback()->SetProgress(0, kLastBlock);
    return ok;
}
