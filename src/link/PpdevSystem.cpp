#include "link/PpdevSystem.h"

#include <cerrno>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <linux/ppdev.h>
#include <pthread.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

// The signal that ends a claim's wait. Its handler does nothing: the signal
// is there only to make the kernel give up the wait with EINTR.
int WakeSignal() {
    return SIGRTMIN + 5;
}

void Ignore(int) {}

void InstallWakeHandler() {
    // Installed once and left in place, so that a wake-up that arrives late
    // can never meet the default action (which ends the process).
    static const bool installed = [] {
        struct sigaction action {};
        action.sa_handler = Ignore;
        sigemptyset(&action.sa_mask);
        action.sa_flags = 0; // no SA_RESTART: the claim must not be resumed
        return sigaction(WakeSignal(), &action, nullptr) == 0;
    }();
    (void)installed;
}

} // namespace

int PpdevSystem::Open(const char* path) {
    return ::open(path, O_RDWR | O_CLOEXEC);
}

void PpdevSystem::Close(int fd) {
    ::close(fd);
}

int PpdevSystem::Ioctl(int fd, unsigned long request, void* arg) {
    return ::ioctl(fd, request, arg);
}

int PpdevSystem::BlockingClaim(int fd) {
    return ::ioctl(fd, PPCLAIM);
}

int64_t PpdevSystem::NowMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

bool PpdevSystem::Claim(int fd, int timeoutMs) {
    InstallWakeHandler();
    sigset_t wake;
    sigemptyset(&wake);
    sigaddset(&wake, WakeSignal());
    sigset_t oldMask;
    pthread_sigmask(SIG_UNBLOCK, &wake, &oldMask);

    // A timer aimed at this thread, repeating so that a wake-up that comes
    // just before the claim starts waiting is followed by another.
    sigevent event{};
    event.sigev_notify = SIGEV_THREAD_ID;
    event.sigev_signo = WakeSignal();
    event._sigev_un._tid = gettid();
    timer_t timer{};
    const bool armed = timer_create(CLOCK_MONOTONIC, &event, &timer) == 0;
    if (armed) {
        itimerspec spec{};
        const int firstMs = timeoutMs > 0 ? timeoutMs : 1;
        spec.it_value.tv_sec = firstMs / 1000;
        spec.it_value.tv_nsec = static_cast<long>(firstMs % 1000) * 1000000L;
        spec.it_interval.tv_nsec = 50L * 1000000L;
        timer_settime(timer, 0, &spec, nullptr);
    }

    const int64_t start = NowMs();
    int result = 0;
    int error = 0;
    for (;;) {
        result = BlockingClaim(fd);
        error = errno;
        if (result == 0 || error != EINTR)
            break;
        // Another signal, or ours: go on waiting until the time is up.
        if (NowMs() - start >= timeoutMs) {
            error = ETIMEDOUT;
            break;
        }
    }
    if (armed)
        timer_delete(timer);
    pthread_sigmask(SIG_SETMASK, &oldMask, nullptr);
    errno = error;
    return result == 0;
}
