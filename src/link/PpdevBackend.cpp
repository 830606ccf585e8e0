#include "link/PpdevBackend.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <linux/parport.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>
#include <system_error>
#include <vector>

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

// Errors of a device that is not there (any more), as opposed to one that is
// busy or forbidden: worth looking for again later.
bool Missing(uint32_t error) {
    return error == ENOENT || error == ENODEV || error == ENXIO || error == EIO;
}

} // namespace

PpdevBackend::PpdevBackend(std::string devicePath, std::shared_ptr<PpdevSystem> system,
                           std::string procRoot)
    : fixedPath_(std::move(devicePath)),
      system_(system ? std::move(system) : std::make_shared<PpdevSystem>()),
      procRoot_(std::move(procRoot)) {}

PpdevBackend::~PpdevBackend() {
    Close();
}

std::string PpdevBackend::FindDeviceForBase(uint16_t base, const std::string& procRoot) {
    // Every port the kernel lists, parport0 to parport99 and beyond, in order.
    std::vector<unsigned long> numbers;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(procRoot, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.size() <= 7 || name.compare(0, 7, "parport") != 0 ||
            name.find_first_not_of("0123456789", 7) != std::string::npos)
            continue;
        numbers.push_back(std::stoul(name.substr(7)));
    }
    std::sort(numbers.begin(), numbers.end());
    for (const unsigned long n : numbers) {
        const std::string id = std::to_string(n);
        std::ifstream in(procRoot + "/parport" + id + "/base-addr");
        unsigned long first = 0;
        // A port without a base address (a USB adapter) shows 0: never a match.
        if (in >> first && first != 0 && first == base)
            return "/dev/parport" + id;
    }
    return {};
}

bool PpdevBackend::OpenDevice(const std::string& path) {
    lastTryMs_ = system_->NowMs();
    if (path.empty()) {
        lastError_ = ENODEV;
        retry_ = true;
        return false;
    }
    const int fd = system_->Open(path.c_str());
    if (fd < 0) {
        lastError_ = static_cast<uint32_t>(errno);
        retry_ = Missing(lastError_);
        return false;
    }
    // No PPEXCL: it fails while the printer driver is registered. The claim
    // waits while that driver holds the port, so it gives up in time; the
    // port then stays closed until the user opens it again.
    if (!system_->Claim(fd, claimTimeoutMs_)) {
        lastError_ = errno == ETIMEDOUT ? EBUSY : static_cast<uint32_t>(errno);
        retry_ = Missing(lastError_);
        system_->Close(fd);
        return false;
    }
    // The port stays in compatibility mode; no other IEEE 1284 mode is
    // negotiated.
    int forward = 0;
    system_->Ioctl(fd, PPDATADIR, &forward);
    fd_ = fd;
    openPath_ = path;
    retry_ = false;
    return true;
}

bool PpdevBackend::Open() {
    Close();
    wantOpen_ = true;
    return OpenDevice(fixedPath_.empty() ? FindDeviceForBase(base_, procRoot_) : fixedPath_);
}

void PpdevBackend::Close() {
    wantOpen_ = false;
    retry_ = false;
    CloseDevice();
}

void PpdevBackend::CloseDevice() {
    if (fd_ >= 0) {
        system_->Ioctl(fd_, PPRELEASE, nullptr);
        system_->Close(fd_);
    }
    fd_ = -1;
    openPath_.clear();
}

void PpdevBackend::RetryIfLost() {
    if (!wantOpen_ || fd_ >= 0 || !retry_)
        return;
    if (system_->NowMs() - lastTryMs_ < kRetryIntervalMs)
        return;
    OpenDevice(fixedPath_.empty() ? FindDeviceForBase(base_, procRoot_) : fixedPath_);
}

void PpdevBackend::SelectBase(uint16_t base) {
    // The link calls this at the start and end of every command.
    if (base == base_) {
        RetryIfLost();
        return;
    }
    base_ = base;
    if (!fixedPath_.empty() || !wantOpen_)
        return;
    // The user picked another port: move to its device (or to none).
    const std::string path = FindDeviceForBase(base, procRoot_);
    if (path != openPath_ || fd_ < 0) {
        CloseDevice();
        OpenDevice(path);
    }
}

bool PpdevBackend::Transfer(unsigned long request, unsigned char& value) {
    if (fd_ < 0 || request == 0) {
        lastError_ = fd_ < 0 ? EBADF : EINVAL;
        return false;
    }
    if (system_->Ioctl(fd_, request, &value) != 0) {
        lastError_ = static_cast<uint32_t>(errno);
        if (Missing(lastError_)) {
            // Gone: closed now, so that the port reads 0 and commands fail
            // at once; looked for again at the start of a later command.
            CloseDevice();
            retry_ = true;
            lastTryMs_ = system_->NowMs();
        }
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
