#include "link/RawIoBackend.h"

#include <cerrno>

#if defined(__linux__) && (defined(__x86_64__) || defined(__i386__))
#include <sys/io.h>

namespace {
bool Permit(uint16_t base, bool on) {
    return ::ioperm(base, 3, on ? 1 : 0) == 0;
}
uint8_t In(uint16_t port) {
    return ::inb(port);
}
void Out(uint16_t port, uint8_t value) {
    ::outb(value, port);
}
} // namespace
#else
// No I/O port instructions here: the backend never opens.
namespace {
bool Permit(uint16_t, bool) {
    errno = ENOSYS;
    return false;
}
uint8_t In(uint16_t) {
    return 0;
}
void Out(uint16_t, uint8_t) {}
} // namespace
#endif

RawIoBackend::~RawIoBackend() {
    Close();
}

bool RawIoBackend::Grant(uint16_t base) {
    if (!Permit(base, true)) {
        lastError_ = static_cast<uint32_t>(errno);
        return false;
    }
    granted_ = base;
    return true;
}

bool RawIoBackend::Open() {
    open_ = Grant(base_);
    return open_;
}

void RawIoBackend::Close() {
    if (open_)
        Permit(granted_, false);
    open_ = false;
}

void RawIoBackend::SelectBase(uint16_t base) {
    if (base == base_)
        return;
    base_ = base;
    if (open_) {
        Close();
        open_ = Grant(base);
    }
}

bool RawIoBackend::Granted(uint16_t port) {
    if (open_ && port >= granted_ && port <= granted_ + 2)
        return true;
    lastError_ = EPERM;
    return false;
}

bool RawIoBackend::Read(uint16_t port, uint8_t& value) {
    if (!Granted(port))
        return false;
    value = In(port);
    return true;
}

bool RawIoBackend::Write(uint16_t port, uint8_t value) {
    if (!Granted(port))
        return false;
    Out(port, value);
    return true;
}
