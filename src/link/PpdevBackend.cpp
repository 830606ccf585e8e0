#include "link/PpdevBackend.h"

#include <cerrno>
#include <fcntl.h>
#include <fstream>
#include <linux/parport.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

// The ppdev request for a register offset from the base, or 0 for none.
unsigned long ReadRequest(int offset) {
    switch (offset) {
    case 0:
        return PPRDATA;
    case 1:
        return PPRSTATUS; // raw: bit 6 is not inverted
    case 2:
        return PPRCONTROL;
    default:
        return 0;
    }
}

unsigned long WriteRequest(int offset) {
    switch (offset) {
    case 0:
        return PPWDATA;
    case 2:
        return PPWCONTROL;
    default:
        return 0;
    }
}

} // namespace

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
    if (path.empty()) {
        lastError_ = ENODEV;
        return false;
    }
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
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
    if (fd_ >= 0) {
        ::ioctl(fd_, PPRELEASE);
        ::close(fd_);
    }
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

bool PpdevBackend::Transfer(unsigned long request, unsigned char& value) {
    if (fd_ < 0 || request == 0) {
        lastError_ = fd_ < 0 ? EBADF : EINVAL;
        return false;
    }
    if (::ioctl(fd_, request, &value) != 0) {
        lastError_ = static_cast<uint32_t>(errno);
        return false;
    }
    return true;
}

bool PpdevBackend::Read(uint16_t port, uint8_t& value) {
    unsigned char v = 0;
    if (!Transfer(ReadRequest(port - base_), v))
        return false;
    value = v;
    return true;
}

bool PpdevBackend::Write(uint16_t port, uint8_t value) {
    // Only bits 0-3 are control lines; bit 5 would turn the data lines around.
    const int offset = port - base_;
    unsigned char v = offset == 2 ? value & 0x0F : value;
    return Transfer(WriteRequest(offset), v);
}
