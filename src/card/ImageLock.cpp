#include "card/ImageLock.h"

#include "card/CardFeedback.h"
#include "card/CardImageOrder.h"
#include "card/CardVolume.h"

#include <cerrno>
#include <chrono>
#include <sys/file.h>
#include <thread>

namespace {

constexpr int kPollMs = 20;

enum class Taken { Yes, Busy, NoLocks };

// Polls for the lock until the deadline; repaint runs between the polls.
template <typename Repaint> Taken Poll(int fd, int operation, int waitMs, Repaint repaint) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    for (;;) {
        if (flock(fd, operation | LOCK_NB) == 0)
            return Taken::Yes;
        if (errno == EINTR)
            continue;
        // A file system without locks (some network mounts) cannot keep a
        // second writer out; refusing every command there would help nobody.
        if (errno != EWOULDBLOCK)
            return Taken::NoLocks;
        if (std::chrono::steady_clock::now() >= deadline)
            return Taken::Busy;
        repaint();
        std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
    }
}

} // namespace

bool LockImage(CardVolume& volume, bool exclusive, int waitMs) {
    if (volume.Place() != CardPlace::Image || volume.ImageFile() == nullptr)
        return true;
    const uint8_t wanted = exclusive ? 2 : 1;
    if (volume.Store().ImageLockHeld() >= wanted)
        return true;
    const bool raising = volume.Store().ImageLockHeld() == 1;
    const int fd = fileno(volume.ImageFile());
    // A failed attempt to raise has let the shared lock go already.
    if (raising)
        volume.Store().SetImageLockHeld(0);
    const Taken taken = Poll(fd, exclusive ? LOCK_EX : LOCK_SH, waitMs, [&volume] {
        if (volume.Store().Feedback() != nullptr)
            volume.Store().Feedback()->Repaint();
    });
    if (taken != Taken::Busy) {
        volume.Store().SetImageLockHeld(wanted);
        return true;
    }
    // Back to the shared lock the command held, when no writer came in
    // between; else whatever reads next takes it again.
    if (raising && Poll(fd, LOCK_SH, 0, [] {}) != Taken::Busy)
        volume.Store().SetImageLockHeld(1);
    return false;
}

void UnlockImage(CardVolume& volume) {
    if (volume.Store().ImageLockHeld() == 0 || volume.ImageFile() == nullptr)
        return;
    flock(fileno(volume.ImageFile()), LOCK_UN);
    volume.Store().SetImageLockHeld(0);
}

bool LockImageForWriting(CardVolume& volume, std::string& why) {
    if (volume.Place() != CardPlace::Image)
        return true;
    if (volume.Store().ImageOrderUnsure()) {
        why = OrderUnknownText(volume.ImageName());
        return false;
    }
    if (!LockImage(volume, true)) {
        why = ImageBusyText(volume.ImageName());
        return false;
    }
    return true;
}

bool LockImageFile(std::FILE* file, int waitMs) {
    return Poll(fileno(file), LOCK_SH, waitMs, [] {}) != Taken::Busy;
}

std::string ImageBusyText(const std::string& imageName) {
    return "The card image " + imageName +
           " is in use by another program; nothing was changed. Try again when it is done.";
}
