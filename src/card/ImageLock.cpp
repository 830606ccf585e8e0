#include "card/ImageLock.h"

#include "card/CardUi.h"
#include "card/CardVolume.h"

#include <cerrno>
#include <chrono>
#include <sys/file.h>
#include <thread>

namespace {

constexpr int kPollMs = 20;

} // namespace

bool LockImage(CardVolume& volume, bool exclusive, int waitMs) {
    if (volume.Device < CardVolume::kImage || volume.ImageFile == nullptr)
        return true;
    const uint8_t wanted = exclusive ? 2 : 1;
    if (volume.ImageLockHeld >= wanted)
        return true;
    const int fd = fileno(volume.ImageFile);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    for (;;) {
        if (flock(fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) == 0) {
            volume.ImageLockHeld = wanted;
            return true;
        }
        if (errno == EINTR)
            continue;
        // A file system without locks (some network mounts) cannot keep a
        // second writer out; refusing every command there would help nobody.
        if (errno != EWOULDBLOCK)
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        if (volume.Ui != nullptr)
            volume.Ui->Repaint();
        std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
    }
}

void UnlockImage(CardVolume& volume) {
    if (volume.ImageLockHeld == 0 || volume.ImageFile == nullptr)
        return;
    flock(fileno(volume.ImageFile), LOCK_UN);
    volume.ImageLockHeld = 0;
}

std::string ImageBusyText(const std::string& imageName) {
    return "The card image " + imageName +
           " is in use by another program; nothing was changed. Try again when it is done.";
}
