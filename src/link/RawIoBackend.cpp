#include "link/RawIoBackend.h"

#include <cerrno>

#if defined(__linux__) && (defined(__x86_64__) || defined(__i386__))
#include <sys/io.h>
#define PORVANE_HAVE_RAWIO 1
#endif

RawIoBackend::~RawIoBackend() {
    Close();
}

bool RawIoBackend::Grant(uint16_t base) {
#ifdef PORVANE_HAVE_RAWIO
    if (::ioperm(base, 3, 1) != 0) {
        lastError_ = static_cast<uint32_t>(errno);
        return false;
    }
    granted_ = base;
    return true;
#else
    (void)base;
    lastError_ = ENOSYS;
    return false;
#endif
}

bool RawIoBackend::Open() {
    open_ = Grant(base_);
    return open_;
}

void RawIoBackend::Close() {
#ifdef PORVANE_HAVE_RAWIO
    if (open_)
        ::ioperm(granted_, 3, 0);
#endif
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

bool RawIoBackend::Read(uint16_t port, uint8_t& value) {
#ifdef PORVANE_HAVE_RAWIO
    if (!open_ || port < granted_ || port > granted_ + 2) {
        lastError_ = EPERM;
        return false;
    }
    value = ::inb(port);
    return true;
#else
    (void)port;
    (void)value;
    lastError_ = ENOSYS;
    return false;
#endif
}

bool RawIoBackend::Write(uint16_t port, uint8_t value) {
#ifdef PORVANE_HAVE_RAWIO
    if (!open_ || port < granted_ || port > granted_ + 2) {
        lastError_ = EPERM;
        return false;
    }
    ::outb(value, port);
    return true;
#else
    (void)port;
    (void)value;
    lastError_ = ENOSYS;
    return false;
#endif
}
