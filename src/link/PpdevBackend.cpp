#include "link/PpdevBackend.h"

#include <cerrno>
#include <fcntl.h>
#include <fstream>
#include <unistd.h>

#if defined(__linux__)
#include <linux/parport.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>
#define PORVANE_HAVE_PPDEV 1
#endif

PpdevBackend::PpdevBackend(std::string devicePath) : fixedPath_(std::move(devicePath)) {}

PpdevBackend::~PpdevBackend() {
    Close();
}

std::string PpdevBackend::FindDeviceForBase(uint16_t base) {
    for (int n = 0; n < 8; ++n) {
        std::ifstream in("/proc/sys/dev/parport/parport" + std::to_string(n) + "/base-addr");
        unsigned long first = 0;
        if (in >> first && first == base)
            return "/dev/parport" + std::to_string(n);
    }
    return {};
}

bool PpdevBackend::OpenDevice(const std::string& path) {
#ifdef PORVANE_HAVE_PPDEV
    if (path.empty()) {
        lastError_ = ENODEV;
        return false;
    }
    const int fd = ::open(path.c_str(), O_RDWR);
    if (fd < 0) {
        lastError_ = static_cast<uint32_t>(errno);
        return false;
    }
    // No PPEXCL: it fails while the printer driver is registered. The port
    // stays in compatibility mode; no other IEEE 1284 mode is negotiated.
    if (::ioctl(fd, PPCLAIM) != 0) {
        lastError_ = static_cast<uint32_t>(errno);
        ::close(fd);
        return false;
    }
    int forward = 0;
    ::ioctl(fd, PPDATADIR, &forward);
    fd_ = fd;
    openPath_ = path;
    return true;
#else
    (void)path;
    lastError_ = ENOSYS;
    return false;
#endif
}

bool PpdevBackend::Open() {
    Close();
    wantOpen_ = true;
    return OpenDevice(fixedPath_.empty() ? FindDeviceForBase(base_) : fixedPath_);
}

void PpdevBackend::Close() {
    wantOpen_ = false;
    CloseDevice();
}

void PpdevBackend::CloseDevice() {
#ifdef PORVANE_HAVE_PPDEV
    if (fd_ >= 0) {
        ::ioctl(fd_, PPRELEASE);
        ::close(fd_);
    }
#endif
    fd_ = -1;
    openPath_.clear();
}

void PpdevBackend::SelectBase(uint16_t base) {
    if (base == base_)
        return;
    base_ = base;
    if (!fixedPath_.empty() || !wantOpen_)
        return;
    // The user picked another port: move to its device (or to none).
    const std::string path = FindDeviceForBase(base);
    if (path != openPath_) {
        CloseDevice();
        OpenDevice(path);
    }
}

bool PpdevBackend::Read(uint16_t port, uint8_t& value) {
#ifdef PORVANE_HAVE_PPDEV
    if (fd_ < 0) {
        lastError_ = EBADF;
        return false;
    }
    unsigned char v = 0;
    int rc = -1;
    switch (port - base_) {
    case 0:
        rc = ::ioctl(fd_, PPRDATA, &v);
        break;
    case 1:
        rc = ::ioctl(fd_, PPRSTATUS, &v);
        break; // raw: bit 6 is not inverted
    case 2:
        rc = ::ioctl(fd_, PPRCONTROL, &v);
        break;
    default:
        lastError_ = EINVAL;
        return false;
    }
    if (rc != 0) {
        lastError_ = static_cast<uint32_t>(errno);
        return false;
    }
    value = v;
    return true;
#else
    (void)port;
    (void)value;
    lastError_ = ENOSYS;
    return false;
#endif
}

bool PpdevBackend::Write(uint16_t port, uint8_t value) {
#ifdef PORVANE_HAVE_PPDEV
    if (fd_ < 0) {
        lastError_ = EBADF;
        return false;
    }
    unsigned char v = value;
    int rc = -1;
    switch (port - base_) {
    case 0:
        rc = ::ioctl(fd_, PPWDATA, &v);
        break;
    case 2:
        // Only bits 0-3 are control lines; bit 5 would turn the data lines around.
        v &= 0x0F;
        rc = ::ioctl(fd_, PPWCONTROL, &v);
        break;
    default:
        lastError_ = EINVAL;
        return false;
    }
    if (rc != 0) {
        lastError_ = static_cast<uint32_t>(errno);
        return false;
    }
    return true;
#else
    (void)port;
    (void)value;
    lastError_ = ENOSYS;
    return false;
#endif
}
